#include "record_page_widget.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <string>

#include "named_widgets.h"

namespace orvenda {
namespace {

template <typename Field>
Field* MakeField(QWidget* parent, const char* name) {
  auto* field = new Field(parent);
  field->setObjectName(name);
  return field;
}

// Label<n>, numbered on from `next`.
QLabel* NextLabel(QWidget* parent, int& next, const char* caption) {
  const std::string name = "Label" + std::to_string(next++);
  return MakeLabel(parent, name.c_str(), caption);
}

}  // namespace

RecordPageWidget::RecordPageWidget(Record record, const Options& options, QWidget* parent)
    : QWidget(parent), layout_(nullptr) {
  setObjectName(options.name);
  if (!options.title.isEmpty()) setWindowTitle(options.title);
  if (record == Record::Node) {
    BuildNode(options.firstLabel);
  } else {
    BuildRisk(options);
  }
}

void RecordPageWidget::BuildNode(int label) {
  auto* textEdit = MakeField<QLineEdit>(this, "TextEdit");
  auto* commentMemo = MakeField<QPlainTextEdit>(this, "TextCommentMemo");
  layout_ = new QVBoxLayout(this);
  layout_->addWidget(NextLabel(this, label, "Název:"));
  layout_->addWidget(textEdit);
  layout_->addWidget(NextLabel(this, label, "Poznámka:"));
  layout_->addWidget(commentMemo, 1);
}

void RecordPageWidget::BuildRisk(const Options& options) {
  auto* sourceEdit = MakeField<QLineEdit>(this, "RiskSourceEdit");
  auto* descrEdit = MakeField<QLineEdit>(this, "DescrEdit");
  auto* riskMemo = MakeField<QPlainTextEdit>(this, "RiskMemo");
  auto* opatreniMemo = MakeField<QPlainTextEdit>(this, "OpatreniMemo");
  auto* commentMemo = options.comment ? MakeField<QPlainTextEdit>(this, "CommentMemo") : nullptr;

  // The rating labels come after the page's own in the numbering.
  int label = options.firstLabel + (options.comment ? 5 : 4);
  auto* ratings = new QGroupBox(QString::fromUtf8("Pravděpodobnost:"), this);
  ratings->setObjectName("PravdepodobnostPanel");
  auto* ratingLayout = new QGridLayout(ratings);
  ratingLayout->setHorizontalSpacing(8);
  int column = 0;
  const auto addRating = [&](const char* caption, const char* name) {
    ratingLayout->addWidget(NextLabel(ratings, label, caption), 0, column++);
    auto* spin = MakeField<QSpinBox>(ratings, name);
    spin->setRange(options.lowestRating, 5);
    spin->setFixedWidth(56);
    ratingLayout->addWidget(spin, 0, column++);
  };
  addRating("Vznik ohrožení:", "ExistenceSpinEdit");
  addRating("Následky ohrožení:", "NasledkySpinEdit");
  if (options.opinion) addRating("Názor hodnotitele:", "NazorSpinEdit");
  ratingLayout->setColumnStretch(column, 1);

  label = options.firstLabel;
  layout_ = new QVBoxLayout(this);
  layout_->addWidget(NextLabel(this, label, "Subsystém:"));
  layout_->addWidget(sourceEdit);
  layout_->addWidget(NextLabel(this, label, "Nebezpečí:"));
  layout_->addWidget(descrEdit);
  layout_->addWidget(NextLabel(this, label, "Popis nebezpečí:"));
  layout_->addWidget(riskMemo, 3);
  layout_->addWidget(NextLabel(this, label, "Bezpečnostní opatření:"));
  layout_->addWidget(opatreniMemo, 3);
  if (commentMemo != nullptr) {
    layout_->addWidget(NextLabel(this, label, "Poznámka:"));
    layout_->addWidget(commentMemo, 2);
  }
  layout_->addWidget(ratings);
}

void RecordPageWidget::AddBelow(QWidget* widget) { layout_->addWidget(widget); }

void RecordPageWidget::AddBelow(QLayout* layout) { layout_->addLayout(layout); }

}  // namespace orvenda
