#pragma once

#include <QLabel>
#include <QWidget>
#include <filesystem>

namespace orvenda {

// The borderless window shown while the program starts.
class SplashFormWindow : public QWidget {
  Q_OBJECT
 public:
  // `languageFile` is applied to the window's texts when it is created.
  explicit SplashFormWindow(const std::filesystem::path& languageFile, QWidget* parent = nullptr);

  QLabel* ProductName() const { return product_name_; }
  QLabel* Version() const { return version_; }

 private:
  QLabel* product_name_;
  QLabel* version_;
};

}  // namespace orvenda
