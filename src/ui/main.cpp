#include <QDir>
#include <QStandardPaths>
#include <QTranslator>
#include <memory>
#include <optional>
#include <vector>

#include "app/command_line.h"
#include "base/language_file.h"
#include "client_report_command.h"
#include "command_guard.h"
#include "main_form_window.h"
#include "program_language.h"
#include "qt_settings_store.h"
#include "report_pdf_command.h"
#include "splash_form_window.h"
#include "tree_images.h"

int main(int argc, char** argv) {
  // Options starting with "--" are batch commands: they run without a window or a display.
  // The commands that paint with Qt join the core's here.
  std::vector<orvenda::BatchCommand> commands = orvenda::CoreBatchCommands();
  commands.push_back(orvenda::ReportPdfCommand());
  commands.push_back(orvenda::ClientReportCommand());
  if (const std::optional<int> status = orvenda::RunCommandLine(argc, argv, commands)) {
    return *status;
  }

  using namespace orvenda;
  OrvendaApplication app(argc, argv);
  QApplication::setOrganizationName("Tumbek");
  QApplication::setApplicationName("Orvenda");
  QApplication::setApplicationVersion(ORVENDA_VERSION);
  QApplication::setWindowIcon(ApplicationIcon());

  const std::filesystem::path programDir = QStringToPath(QCoreApplication::applicationDirPath());
  const std::filesystem::path userDir =
      QStringToPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
  const std::filesystem::path languageFile = FindLanguageFile(programDir, userDir);

  // Qt's own texts (standard buttons, file, print and page-setup dialogs) in the language of
  // the language file, where Qt's translations are installed.
  SetProgramLanguage(LanguageOf(languageFile));
  QTranslator qtTexts;
  if (LoadQtTranslations(ProgramLanguage(), qtTexts)) QCoreApplication::installTranslator(&qtTexts);

  // The splash window first, painted at once; it goes when the windows are made.
  auto splash = std::make_unique<SplashFormWindow>(languageFile);
  splash->show();
  splash->repaint();
  QCoreApplication::processEvents();

  QtSettingsStore settings;
  MainFormDirs dirs;
  dirs.programDir = programDir;
  dirs.tempDir = QStringToPath(QDir::tempPath());
  dirs.userDir = userDir;

  MainFormWindow window(dirs, settings);
  // A project named as the first argument is opened at the first showing (when it exists).
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() > 1) window.Form().CommandLineFile = QStringToPath(arguments[1]);
  window.CreateOtherWindows();

  splash.reset();
  window.show();
  return app.exec();
}
