#pragma once

#include <QString>
#include <QWidget>

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

  // Adds a row below the fields.
  void AddBelow(QWidget* widget);
  void AddBelow(QLayout* layout);

 private:
  void BuildNode(int label);
  void BuildRisk(const Options& options);

  QVBoxLayout* layout_;
};

}  // namespace orvenda
