#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>

class QLayout;
class QVBoxLayout;

namespace orvenda {

// A tree record's fields as the project window and the library window both show them: a
// node's page (name, note) or a risk's page (subsystem, hazard, description, measures, note,
// ratings). The fields carry the forms' component names; the labels are Label<n>, numbered
// in order from `firstLabel` as each window's language file knows them.
class RecordPageWidget : public QWidget {
  Q_OBJECT
 public:
  enum class Record { Node, Risk };
  struct Options {
    const char* name = "";  // the page's component name
    QString title{};        // the caption a tab would show; empty for none
    int firstLabel = 1;
    int lowestRating = 0;
    bool comment = false;  // risk: the note (CommentMemo)
    bool opinion = false;  // risk: the assessor's own rating (NazorSpinEdit)
  };

  RecordPageWidget(Record record, const Options& options, QWidget* parent);

  // Selects `length` characters from `start` in the field that shows the record's `field`
  // (RecordTexts::Field), without changing its text; false when the page shows no such field.
  bool Highlight(int field, size_t start, size_t length);

  // Adds a row below the fields.
  void AddBelow(QWidget* widget);
  void AddBelow(QLayout* layout);

 private:
  void BuildNode(int label);
  void BuildRisk(const Options& options);

  Record record_;
  QVBoxLayout* layout_;
};

}  // namespace orvenda
