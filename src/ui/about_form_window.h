#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

namespace orvenda {

// "O programu": product name, version and a few static lines, with an OK button.
class AboutFormWindow : public QDialog {
  Q_OBJECT
 public:
  explicit AboutFormWindow(const std::filesystem::path& languageFile, QWidget* parent = nullptr);

  QLabel* ProductName() const { return product_name_; }
  QLabel* Version() const { return version_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* product_name_;
  QLabel* version_;
  QLabel* mess1_;
};

// "Verze 2.9": the caption of the hidden label Mess1, a blank and the program's version.
QString VersionCaption(const QLabel* mess1);

}  // namespace orvenda
