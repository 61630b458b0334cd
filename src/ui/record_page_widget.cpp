#include "record_page_widget.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "model/text_match.h"
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
    : QWidget(parent), record_(record), layout_(nullptr) {
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

bool RecordPageWidget::Highlight(int field, size_t start, size_t length) {
  const char* name = nullptr;
  if (record_ == Record::Node) {
    if (field == RecordTexts::kTextField) name = "TextEdit";
    if (field == RecordTexts::kCommentField) name = "TextCommentMemo";
  } else {
    constexpr const char* kRiskFields[RecordTexts::kFields] = {
        "DescrEdit", "CommentMemo", "RiskSourceEdit", "RiskMemo", "OpatreniMemo"};
    if (field >= 0 && field < RecordTexts::kFields) name = kRiskFields[field];
  }
  QWidget* widget = name != nullptr ? findChild<QWidget*>(name) : nullptr;
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    const int size = static_cast<int>(edit->text().size());
    const int from = std::min(static_cast<int>(start), size);
    edit->setSelection(from, std::min(static_cast<int>(length), size - from));
    return true;
  }
  if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
    const int size = memo->document()->characterCount() - 1;  // without the closing paragraph
    const int from = std::min(static_cast<int>(start), size);
    QTextCursor cursor(memo->document());
    cursor.setPosition(from);
    cursor.setPosition(std::min(from + static_cast<int>(length), size), QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
    memo->ensureCursorVisible();
    return true;
  }
  return false;
}

void RecordPageWidget::AddBelow(QWidget* widget) { layout_->addWidget(widget); }

void RecordPageWidget::AddBelow(QLayout* layout) { layout_->addLayout(layout); }

}  // namespace orvenda
