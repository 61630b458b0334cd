#include "client_report_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "base/cp1250.h"
#include "base/messages.h"
#include "client_report_document.h"
#include "command_guard.h"
#include "qt_dialogs.h"
#include "qt_text.h"
#include "storno_progress.h"

namespace orvenda {
namespace {

constexpr const char* kAssessorKey = "\\Software\\Tumbek\\Orvenda\\ClientReport";

}  // namespace

ClientReportDialog::ClientReportDialog(MainForm& form, Progress& progress, QWidget* parent)
    : QDialog(parent), form_(form), progress_(progress) {
  setObjectName("ClientReportForm");
  setWindowTitle(MessageText(320));
  auto* fields = new QFormLayout;
  const auto edit = [&](const char* name, int label, const QString& text) {
    auto* line = new QLineEdit(text, this);
    line->setObjectName(name);
    fields->addRow(MessageText(label), line);
    return line;
  };
  title_ = edit("TitleEdit", 22, MessageText(21));  // "Název:", "Hodnocení rizik"
  client_ = edit("ClientEdit", 298, QString());
  object_ = edit("ObjectEdit", 299, QString());
  object_->setPlaceholderText(MessageText(321));
  assessor_ = edit("AssessorEdit", 304,
                   FromCp1250(form.settings.ReadString(kAssessorKey, "Assessor").value_or("")));
  date_ = edit("DateEdit", 301, FromCp1250(TodayCzechDate()));
  scope_ = new QComboBox(this);
  scope_->setObjectName("ScopeCombo");
  scope_->addItems({MessageText(322), MessageText(323)});
  fields->addRow(MessageText(324), scope_);
  order_ = new QComboBox(this);
  order_->setObjectName("OrderCombo");
  order_->addItems({MessageText(325), MessageText(326)});
  fields->addRow(MessageText(327), order_);
  const auto check = [&](const char* name, int label, bool on) {
    auto* box = new QCheckBox(MessageText(label), this);
    box->setObjectName(name);
    box->setChecked(on);
    fields->addRow(QString(), box);
    return box;
  };
  summary_ = check("SummaryCheckBox", 96, true);  // "Souhrn"
  matrix_ = check("MatrixCheckBox", 308, true);
  measures_ = check("MeasuresCheckBox", 72, true);
  notes_ = check("NotesCheckBox", 328, true);
  legend_ = check("LegendCheckBox", 329, true);
  landscape_ = check("LandscapeCheckBox", 263, false);

  auto* buttons = new QDialogButtonBox(this);
  const auto button = [&](const char* name, int label, auto handler) {
    auto* b = buttons->addButton(MessageText(label), QDialogButtonBox::ActionRole);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this,
            [this, handler] { RunCommand([&] { handler(this); }); });
  };
  button("PdfButton", 330, [](ClientReportDialog* d) { d->SaveAs(".pdf"); });
  button("OdtButton", 331, [](ClientReportDialog* d) { d->SaveAs(".odt"); });
  button("PrintButton", 332, [](ClientReportDialog* d) { d->Print(); });
  buttons->addButton(QDialogButtonBox::Close)->setText(MessageText(282));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(buttons);
}

ClientReportOptions ClientReportDialog::Options() const {
  ClientReportOptions options;
  options.title = ToCp1250(title_->text());
  options.client = ToCp1250(client_->text());
  options.object = ToCp1250(object_->text());
  options.assessor = ToCp1250(assessor_->text());
  options.date = ToCp1250(date_->text());
  if (scope_->currentIndex() == 1) {
    // The selected node's branch; a selected risk stands for its node.
    TreeControl& tree = form_.TreeNT1;
    TreeControl::Item item = tree.Selected();
    if (item != nullptr && tree.Image(item) == TreeControl::kRisk) item = tree.Parent(item);
    if (item != nullptr) options.branch = tree.Data(item);
  }
  if (order_->currentIndex() == 1) options.order = ClientReportOrder::ByLevel;
  options.summary = summary_->isChecked();
  options.matrix = matrix_->isChecked();
  options.measures = measures_->isChecked();
  options.notes = notes_->isChecked();
  options.legend = legend_->isChecked();
  options.landscape = landscape_->isChecked();
  return options;
}

ClientReport ClientReportDialog::Build() {
  form_.settings.WriteString(kAssessorKey, "Assessor", ToCp1250(assessor_->text()));
  const std::string name =
      form_.ProjectFileName.empty() ? std::string() : PathToText(form_.ProjectFileName.filename());
  return BuildClientReport(form_.DataTable, form_.MessagesBox, Options(), name);
}

void ClientReportDialog::SaveAs(const char* extension) {
  const ClientReport report = Build();
  const QString pattern = QString("*") + extension;
  QString file = QFileDialog::getSaveFileName(
      this, windowTitle(), QString(),
      QString::fromLatin1(extension + 1).toUpper() + " (" + pattern + ")", nullptr,
      QFileDialog::DontUseNativeDialog);
  if (file.isEmpty()) return;
  if (!file.endsWith(extension, Qt::CaseInsensitive)) file += extension;
  StornoProgress progress(this, progress_);
  try {
    if (std::string(extension) == ".pdf") {
      WriteClientReportPdf(report, QStringToPath(file), progress);
    } else {
      WriteClientReportOdt(report, QStringToPath(file), progress);
    }
  } catch (const ProgressCanceled&) {
  }
}

void ClientReportDialog::Print() {
  const ClientReport report = Build();
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(ClientReportPageLayout(report.options));
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  StornoProgress progress(this, progress_);
  try {
    PrintClientReport(printer, report, progress);
  } catch (const ProgressCanceled&) {
  }
}

}  // namespace orvenda
