#include "vzhled_rep_form_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>

#include "command_guard.h"
#include "named_widgets.h"
#include "qt_text.h"
#include "qt_translation.h"

namespace orvenda {

namespace {
constexpr int kGridRowHeight = 16;
}  // namespace

VzhledRepFormWindow::VzhledRepFormWindow(VzhledRepForm& form,
                                         const std::filesystem::path& languageFile, QWidget* parent)
    : QDialog(parent),
      form_(form),
      // Only the window reports the form's changes: every command's outcome is pushed here.
      binding_(this, [this] { PushState(); }) {
  setObjectName("VzhledRepForm");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  label_ = new QLabel(this);
  label_->setObjectName("Label1");
  list_ = new QListWidget(this);
  list_->setObjectName("CheckListBox1");
  for (const std::string& item : form_.CheckListBox1.Items) {
    auto* entry = new QListWidgetItem(FromCp1250(item), list_);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  }
  list_->setFixedHeight(list_->sizeHintForRow(0) * kReportColumns + 2 * list_->frameWidth() + 2);

  // Row 0 of the grid is its fixed row: the header with the short titles.
  grid_ = new QTableWidget(2, kReportColumns, this);
  grid_->setObjectName("StringGrid1");
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::NoSelection);
  grid_->setFocusPolicy(Qt::NoFocus);
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  grid_->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  QHeaderView* header = grid_->horizontalHeader();
  header->setMinimumSectionSize(0);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setStretchLastSection(false);
  header->setFixedHeight(kGridRowHeight + 4);
  QFont small = grid_->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  header->setFont(small);
  connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (pushing_ || column < 0 || column >= kReportColumns) return;
    form_.StringGrid1.ColWidths[column] = size;
  });
  grid_->setFixedHeight(header->height() + 2 * kGridRowHeight + 2 * grid_->frameWidth() + 18);

  radio_group_ = new QGroupBox(this);
  radio_group_->setObjectName("RadioGroup1");
  auto* radios = new QVBoxLayout(radio_group_);
  for (int i = 0; i < 2; ++i) {
    radios_[i] = new QRadioButton(radio_group_);
    radios->addWidget(radios_[i]);
    connect(radios_[i], &QRadioButton::clicked, this, [this, i] {
      form_.RadioGroup1.value = i;
      RunCommand([this] { form_.RadioGroup1Click(); });
      PushState();
    });
  }
  tree_box_ = new QCheckBox(this);
  tree_box_->setObjectName("CheckBox1");
  risks_box_ = new QCheckBox(this);
  risks_box_->setObjectName("CheckBox2");
  connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (pushing_) return;
    const int row = list_->row(item);
    if (row < 0 || row >= kReportColumns) return;
    form_.CheckListBox1.Checked[row] = item->checkState() == Qt::Checked;
    RunCommand([this] { form_.CheckListBox1ClickCheck(); });
    PushState();
  });

  auto* left = new QVBoxLayout;
  left->addWidget(label_);
  left->addWidget(list_);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(radio_group_);
  right->addWidget(tree_box_);
  right->addWidget(risks_box_);
  right->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(grid_);
  layout->addLayout(MakeOkCancelRow(this, "BitBtn1", "BitBtn2"));
  int gridWidth = 2 * grid_->frameWidth() + 2;
  for (const int width : form_.StringGrid1.ColWidths) gridWidth += width;
  setMinimumWidth(gridWidth + 24);

  using F = VzhledRepForm;
  binding_.BindAll(form_.Controls(),
                   FormBinding::DialogButtons(
                       *this, form_, "BitBtn1", &F::BitBtn1Click, "BitBtn2", &F::BitBtn2Click,
                       FormBinding::Calls(form_, {{"CheckBox1", &F::CheckBox1Click}})));
  binding_.BindCaption(form_.Caption);
  PushState();
  binding_.Translate(languageFile);
  // The column names are a list the language file may translate as well.
  for (int i = 0; i < kReportColumns && i < list_->count(); ++i) {
    form_.CheckListBox1.Items[i] = ToCp1250(list_->item(i)->text());
  }
  for (int i = 0; i < 2 && i < static_cast<int>(form_.RadioGroup1Items.size()); ++i) {
    form_.RadioGroup1Items[i] = ToCp1250(radios_[i]->text());
  }

  form_.ShowModal = [this] { exec(); };
  form_.OnStateChanged = [this] { PushState(); };
}

VzhledRepFormWindow::~VzhledRepFormWindow() {
  form_.ShowModal = nullptr;
  form_.OnStateChanged = nullptr;
}

void VzhledRepFormWindow::PushState() {
  pushing_ = true;
  binding_.Push();
  {
    const QSignalBlocker blocker(list_);
    for (int i = 0; i < kReportColumns && i < list_->count(); ++i) {
      QListWidgetItem* item = list_->item(i);
      item->setText(FromCp1250(form_.CheckListBox1.Items[i]));
      item->setCheckState(form_.CheckListBox1.Checked[i] ? Qt::Checked : Qt::Unchecked);
    }
    list_->setEnabled(form_.CheckListBox1.Enabled);
  }
  for (int i = 0; i < kReportColumns; ++i) {
    grid_->setHorizontalHeaderItem(i,
                                   new QTableWidgetItem(FromCp1250(form_.StringGrid1.Cells[i][0])));
    if (grid_->columnWidth(i) != form_.StringGrid1.ColWidths[i]) {
      grid_->setColumnWidth(i, form_.StringGrid1.ColWidths[i]);
    }
  }
  for (int i = 0; i < 2; ++i) {
    const QSignalBlocker blocker(radios_[i]);
    if (i < static_cast<int>(form_.RadioGroup1Items.size())) {
      radios_[i]->setText(FromCp1250(form_.RadioGroup1Items[i]));
    }
    radios_[i]->setChecked(form_.RadioGroup1.value == i);
  }
  pushing_ = false;
}

}  // namespace orvenda
