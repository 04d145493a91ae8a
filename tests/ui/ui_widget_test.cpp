// The desktop application's widgets, driven as a user drives them: start-up and settings, the main
// window, the text dump dialog's checks, keys and commands, Execute on a real capture run in the
// background with its progress, Stop and closing, the editor start, the file dialogs and the
// description panel. Message boxes and file dialogs are answered by a watcher armed before the
// action that opens them.
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryFile>
#include <QTest>
#include <QSplitter>
#include <QTreeWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tools/capture_writer.h"
#include "ui/about_dlg.h"
#include "ui/common/platform.h"
#include "ui/details/details_pane.h"
#include "ui/dump_dialog/text_dump.h"
#include "ui/gsd_folders_dlg.h"
#include "ui/health/health_view.h"
#include "ui/main_frame.h"
#include "ui/run_table/filter_bar.h"
#include "ui/run_table/run_view.h"
#include "ui/telo_fdc_capt_anlz_app.h"

#if defined(FDC_HAVE_XKB)
#include <QtGui/qguiapplication_platform.h>
// After the Qt headers: Xlib's macros would clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

using namespace fdc::ui;
using fdc::ui::test::ReadTextFile;
using fdc::ui::test::WriteTextFile;

namespace {

CTeloFdcCaptAnlzApp& App() { return *static_cast<CTeloFdcCaptAnlzApp*>(qApp); }

std::string S(const QString& text) { return text.toStdString(); }

// Answers every modal window that opens while it lives. A message box is recorded and closed
// with OK, or a question with `questionAnswer`; a file dialog goes to `onFileDialog` (cancelled
// when there is none); any other modal dialog goes to `onOtherDialog`.
class ModalWatcher : public QObject {
 public:
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
  };

  ModalWatcher() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalWatcher::Poll);
    timer_.start();
  }

  QList<Box> boxes;
  QMessageBox::StandardButton questionAnswer = QMessageBox::No;
  QList<QStringList> fileDialogFilters;
  QStringList fileDialogTitles;
  std::function<void(QFileDialog*)> onFileDialog;
  std::function<void(QDialog*)> onOtherDialog;

  QStringList Texts() const {
    QStringList texts;
    for (const Box& box : boxes) texts << box.text;
    return texts;
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property("fdcAnswered").toBool()) {
      return;
    }
    modal->setProperty("fdcAnswered", true);
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.append({box->windowTitle(), box->text(), box->icon()});
      QAbstractButton* answer = box->button(QMessageBox::Ok);
      if (answer == nullptr) answer = box->button(questionAnswer);
      if (answer != nullptr) {
        answer->click();
      } else {
        box->reject();
      }
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      fileDialogFilters.append(files->nameFilters());
      fileDialogTitles.append(files->windowTitle());
      if (onFileDialog) {
        onFileDialog(files);
      } else {
        files->reject();
      }
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      if (onOtherDialog) {
        onOtherDialog(dialog);
      } else {
        dialog->reject();
      }
    }
  }

  QTimer timer_;
};

// Types `path` into a file dialog's name field and confirms, as a user does. (selectFile would
// leave the field alone while it has the focus.)
void TypeAndConfirm(QFileDialog* dialog, const QString& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (name == nullptr) {
    qWarning("file dialog without a name field");
    dialog->reject();
    return;
  }
  // Typing replaces the name that the dialog offered; the list's selection of that name goes too,
  // as it does when the field has the focus.
  if (auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
    list->clearSelection();
  }
  name->setText(path);
  static_cast<QDialog*>(dialog)->accept();
}

// A watcher's file dialog answer: choose `path` and confirm.
std::function<void(QFileDialog*)> Choose(const QString& path) {
  return [path](QFileDialog* dialog) { TypeAndConfirm(dialog, path); };
}

// Chooses `path`, and cancels if the dialog refuses it. After the watcher's turn, since the
// refusal's own message box needs the watcher to answer it.
std::function<void(QFileDialog*)> ChooseOrGiveUp(const QString& path) {
  return [path](QFileDialog* dialog) {
    QTimer::singleShot(0, dialog, [dialog, path] {
      TypeAndConfirm(dialog, path);
      if (dialog->isVisible()) dialog->reject();
    });
  };
}

// The text a label or button shows: its mnemonic marks go.
QString Shown(QString text) {
  return text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
}

// A run long enough (some seconds) that the tests always stop it: the 1439 minute files
// long1200.FdcCapt to long2358.FdcCapt, dumped with an option file that shows no record.
struct LongRun {
  QTemporaryDir dir;
  QString firstFile;
  QString optionFile;
  QString dumpFile;
};

const LongRun& TheLongRun() {
  static LongRun* run = [] {
    auto* made = new LongRun;
    made->firstFile = fdc::ui::test::WriteLongRun(made->dir.path());
    made->optionFile = made->dir.filePath("none.opt");
    WriteTextFile(made->optionFile, QByteArray(fdc::ui::test::kShowNothing) +
                                        "Descrip=Nothing shown\nArgName0=Unused\n");
    made->dumpFile = made->dir.filePath("long1200_none.txt");
    return made;
  }();
  return *run;
}

// Qt's messages as a program without the test framework writes them: on the standard error.
void MessageToStderr(QtMsgType, const QMessageLogContext&, const QString& message) {
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The stdout of this process, caught into a file between its making and Finish. Qt's messages,
// which the test framework would write on the standard output, go to the standard error meanwhile.
class StdoutCapture {
 public:
  StdoutCapture() {
#if defined(Q_OS_UNIX)
    if (!file_.open()) return;
    previousHandler_ = qInstallMessageHandler(&MessageToStderr);
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_.handle(), STDOUT_FILENO);
#endif
  }
  ~StdoutCapture() { Finish(); }

  QByteArray Finish() {
#if defined(Q_OS_UNIX)
    if (saved_ < 0) return caught_;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    qInstallMessageHandler(previousHandler_);
    file_.seek(0);
    caught_ = file_.readAll();
#endif
    return caught_;
  }

 private:
  QTemporaryFile file_;
  QtMessageHandler previousHandler_ = nullptr;
  int saved_ = -1;
  QByteArray caught_;
};

QLineEdit* Edit(TextDump& dialog, int id) { return qobject_cast<QLineEdit*>(dialog.Control(id)); }
QPushButton* Button(TextDump& dialog, int id) {
  return qobject_cast<QPushButton*>(dialog.Control(id));
}
QCheckBox* AutoEditBox(TextDump& dialog) {
  return qobject_cast<QCheckBox*>(dialog.Control(kIdAutoEdit));
}

// A dialog of its own, opened as the main window opens it, but without blocking the test.
std::unique_ptr<TextDump> OpenDialog(const TextDumpValues& values) {
  auto dialog = std::make_unique<TextDump>();
  dialog->Values() = values;
  dialog->OnInitDialog();
  dialog->show();
  dialog->activateWindow();
  if (!QTest::qWaitForWindowActive(dialog.get())) qWarning("dialog did not become active");
  return dialog;
}

// The dialog's values for a dump of the long run, all its 1439 files.
TextDumpValues LongRunValues() {
  TextDumpValues values;
  values.FileName = S(TheLongRun().firstFile);
  values.OptionFile = S(TheLongRun().optionFile);
  values.EditorPath = "/nonexistent/editor";
  values.AutoEdit = false;
  return values;
}

// Starts the long run in `dialog` (its values from LongRunValues).
void ExecuteLongRun(TextDump& dialog) {
  qobject_cast<QLineEdit*>(dialog.Control(kIdNumMin))->setText("1439");
  QTest::mouseClick(qobject_cast<QPushButton*>(dialog.Control(kIdExecute)), Qt::LeftButton);
}

// Every control's enabled state, as "id:0/1" words.
QString EnabledStates(TextDump& dialog) {
  QStringList states;
  for (int id : {1024, 1027, 1025, 1028, 1026, 1034, 1035, 1036, 1045, 1044, 1031, 1037,
                 1032, 1038, 1033, 1039, 1043, 1040, 1041, 1042, 1029, 1030, 3,    1}) {
    states << QString::number(id) + ":" + (dialog.Control(id)->isEnabled() ? "1" : "0");
  }
  return states.join(' ');
}

TextDumpValues ValidValues() {
  TextDumpValues values;
  values.FileName = "/nonexistent/Line11430.FdcCapt";
  values.OptionFile = "";
  values.EditorPath = "/usr/bin/xdg-open";
  return values;
}

// A tiny capture run: one minute file with two telegrams.
void WriteCapture(const QString& path) {
  std::vector<std::uint8_t> bytes = fdc::gen::EncodeHeader(1, 0xC0A80005, "TestModule");
  const std::vector<std::uint8_t> request = {0x10, 0x02, 0x01, 0x49, 0x4C, 0x16};
  const std::vector<std::uint8_t> reply = {0x10, 0x01, 0x02, 0x00, 0x03, 0x16};
  fdc::gen::AppendRecord(bytes, 1000, request, 0);
  fdc::gen::AppendRecord(bytes, 2000, reply, 0);
  QVERIFY(fdc::gen::WriteFile(S(path), bytes));
}

// An editor that writes its argument count and arguments, one a line, next to itself.
QString WriteFakeEditor(const QTemporaryDir& dir) {
  const QString path = dir.filePath("editor.sh");
  WriteTextFile(path,
                "#!/bin/sh\n"
                "out=\"$(dirname \"$0\")/editor.out\"\n"
                "printf '%s\\n' \"$#\" \"$@\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path;
}

QRect OuterRect(const AppSettings& s) {
  return QRect(QPoint(s.WinMinX, s.WinMinY), QPoint(s.WinMaxX - 1, s.WinMaxY - 1));
}

void StoreSettings(const std::function<void(QSettings&)>& fill) {
  QSettings store;
  store.beginGroup("Settings");
  fill(store);
  store.endGroup();
  store.sync();
}

QString StoredText(const QString& name) {
  QSettings store;
  return store.value("Settings/" + name).toString();
}

bool TextFits(const QWidget* widget, const QString& text, int extra) {
  return widget->fontMetrics().horizontalAdvance(text) + extra <= widget->width();
}

}  // namespace

class UiWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QSettings store;
    store.clear();
    store.sync();
  }

  void cleanup() { App().ExitInstance(); }

  // --- Start-up and settings ---

  void firstStartUsesDefaults() {
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QCOMPARE(frame->windowTitle(), QStringLiteral("TeloFdcCaptAnlz"));
    // Nothing stored: 80 % of the screen's free area, centred.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect first(area.left() + (area.width() - area.width() * 4 / 5) / 2,
                      area.top() + (area.height() - area.height() * 4 / 5) / 2,
                      area.width() * 4 / 5, area.height() * 4 / 5);
    QTRY_COMPARE(frame->frameGeometry(), first);
    const TextDumpValues& values = frame->TextDumpDialog().Values();
    const QString programDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    QCOMPARE(QString::fromStdString(values.FileName), QStringLiteral("FdcCapt.FdcCapt"));
    QCOMPARE(QString::fromStdString(values.OptionFile), programDir + "/ORV_PB_All.opt");
    QCOMPARE(QString::fromStdString(values.EditorPath), QStringLiteral("/usr/bin/xdg-open"));
    QCOMPARE(values.AutoEdit, true);

    App().ExitInstance();
    QCOMPARE(QString::fromUtf8(ReadTextFile(fdc::ui::test::SettingsFilePath())),
             QStringLiteral("[Settings]\n"
                            "AutoEdit=1\n"
                            "DumpFile=FdcCapt.FdcCapt\n"
                            "EditorPath=/usr/bin/xdg-open\n"
                            "OptFile=") +
                 programDir +
                 QStringLiteral("/ORV_PB_All.opt\n"
                                "WinMaxX=%1\n"
                                "WinMaxY=%2\n"
                                "WinMaximized=0\n"
                                "WinMinX=%3\n"
                                "WinMinY=%4\n")
                     .arg(first.right() + 1)
                     .arg(first.bottom() + 1)
                     .arg(first.left())
                     .arg(first.top()));
  }

  void storedAutoEditZeroStaysCleared() {
    StoreSettings([](QSettings& s) {
      s.setValue("AutoEdit", 0);
      s.setValue("DumpFile", "");
    });
    QVERIFY(App().InitInstance());
    TextDump& dialog = App().MainFrame()->TextDumpDialog();
    QCOMPARE(dialog.Values().FileName, std::string("FdcCapt.FdcCapt"));
    dialog.OnInitDialog();
    QVERIFY(!AutoEditBox(dialog)->isChecked());
    QVERIFY(!dialog.Control(kIdEditorPath)->isEnabled());
    QVERIFY(dialog.UpdateData(true));
    App().ExitInstance();
    QCOMPARE(StoredText("AutoEdit"), QStringLiteral("0"));
  }

  void placementRoundTrip_data() {
    QTest::addColumn<QRect>("stored");  // left, top, right, bottom as x, y, width, height
    QTest::addColumn<QPoint>("movedTo");
    QTest::newRow("defaults, not moved") << QRect(20, 20, 480, 450) << QPoint();
    QTest::newRow("stored elsewhere, not moved") << QRect(100, 80, 700, 500) << QPoint();
    QTest::newRow("moved by the user") << QRect(100, 80, 700, 500) << QPoint(150, 120);
  }
  void placementRoundTrip() {
    QFETCH(QRect, stored);
    QFETCH(QPoint, movedTo);
    StoreSettings([&](QSettings& s) {
      s.setValue("WinMinX", stored.x());
      s.setValue("WinMinY", stored.y());
      s.setValue("WinMaxX", stored.width());
      s.setValue("WinMaxY", stored.height());
    });
    const QRect outer(QPoint(stored.x(), stored.y()),
                      QPoint(stored.width() - 1, stored.height() - 1));
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_COMPARE(frame->frameGeometry(), outer);
    QRect expected = outer;
    if (!movedTo.isNull()) {
      frame->move(movedTo);
      expected.moveTopLeft(movedTo);
      QTRY_COMPARE(frame->frameGeometry(), expected);
    }
    frame->close();
    App().ExitInstance();
    QCOMPARE(OuterRect(App().Settings()), expected);

    // A window closed and opened again comes back where it was, at the same size.
    QVERIFY(App().InitInstance());
    QVERIFY(QTest::qWaitForWindowExposed(App().MainFrame()));
    QTRY_COMPARE(App().MainFrame()->frameGeometry(), expected);
  }

  void closedMaximisedStoresNormalRectangle() {
    StoreSettings([](QSettings& s) {
      s.setValue("WinMinX", 100);
      s.setValue("WinMinY", 80);
      s.setValue("WinMaxX", 600);
      s.setValue("WinMaxY", 480);
    });
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_COMPARE(frame->frameGeometry(), QRect(100, 80, 500, 400));
    frame->showMaximized();
    QTRY_VERIFY(frame->isMaximized());
    // Only a window manager (or the offscreen platform) actually enlarges the window.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
      QTRY_VERIFY(frame->width() > 500);
    }
    frame->close();
    App().ExitInstance();
    QCOMPARE(StoredText("WinMinX") + "," + StoredText("WinMinY") + "," + StoredText("WinMaxX") +
                 "," + StoredText("WinMaxY") + "," + StoredText("WinMaximized"),
             QStringLiteral("100,80,600,480,1"));
    // The next start is maximised again, and restores to the earlier normal rectangle.
    QVERIFY(App().InitInstance());
    frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_VERIFY(frame->isMaximized());
    frame->showNormal();
    QTRY_VERIFY(!frame->isMaximized());
    QTRY_COMPARE(frame->frameGeometry(), QRect(100, 80, 500, 400));
  }

  void storedRectangleOffScreenIsBroughtBack() {
    StoreSettings([](QSettings& s) {
      s.setValue("WinMinX", 30000);
      s.setValue("WinMinY", 30000);
      s.setValue("WinMaxX", 30460);
      s.setValue("WinMaxY", 30430);
    });
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QTRY_COMPARE(frame->frameGeometry(), QRect(screen.topLeft(), QSize(460, 430)));
  }

  void storedDialogValuesAfterExit_data() {
    QTest::addColumn<bool>("dismissWithEscape");
    QTest::newRow("closed with Cancel") << false;
    QTest::newRow("stored by Execute, dismissed with Escape") << true;
  }
  void storedDialogValuesAfterExit() {
    QFETCH(bool, dismissWithEscape);
    QVERIFY(App().InitInstance());
    TextDump& dialog = App().MainFrame()->TextDumpDialog();
    dialog.OnInitDialog();
    dialog.show();
    Edit(dialog, kIdFileName)->setText("/typed/Line1.FdcCapt");
    Edit(dialog, kIdOptionFile)->setText("/typed/Station.opt");
    Edit(dialog, kIdArgValue0)->setText("77");
    QTest::mouseClick(AutoEditBox(dialog), Qt::LeftButton);
    Edit(dialog, kIdEditorPath)->setText("/typed/editor");
    ModalWatcher watcher;
    if (dismissWithEscape) {
      QTest::mouseClick(Button(dialog, kIdExecute), Qt::LeftButton);
      QTRY_COMPARE(watcher.boxes.size(), 1);  // the file name is not a capture name
      QTest::keyClick(&dialog, Qt::Key_Escape);
    } else {
      QTest::mouseClick(Button(dialog, kIdAccept), Qt::LeftButton);
    }
    QTRY_VERIFY(!dialog.isVisible());
    App().MainFrame()->close();
    App().ExitInstance();
    QCOMPARE(StoredText("DumpFile"), QStringLiteral("/typed/Line1.FdcCapt"));
    QCOMPARE(StoredText("OptFile"), QStringLiteral("/typed/Station.opt"));
    QCOMPARE(StoredText("EditorPath"), QStringLiteral("/typed/editor"));
    QCOMPARE(StoredText("AutoEdit"), QStringLiteral("0"));
    QVERIFY(!ReadTextFile(fdc::ui::test::SettingsFilePath()).contains("77"));
  }

  // --- Main window ---

  void menusAndToolbar() {
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QStringList menus;
    for (QAction* menu : frame->menuBar()->actions()) {
      QStringList items;
      for (QAction* item : menu->menu()->actions()) items << item->text();
      menus << menu->text() + ": " + items.join(", ");
    }
    QCOMPARE(menus, (QStringList{"&File: &Open..., Open &Recent, Export Shown Records as Te&xt "
                                 "Dump..., Export Shown Records as &pcapng..., &Text Dump, , &Quit",
                                 "&Go: Go to &Reference Number..., &Next Fault, &Previous Fault, , "
                                 "&Find..., Find Ne&xt, Find Pre&vious, , &Filter Bar, Record "
                                 "&Table, F&indings, &Live List, &Station Table, &Charts",
                                 "Vie&w: Record &Details", "&Analyze: &Text Dump",
                                 "&Options: &GSD Folders...",
                                 "&Help: &Keyboard Shortcuts..., , &About TeloFdcCaptAnlz..."}));
    QCOMPARE(frame->TextDumpAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    QCOMPARE(frame->QuitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    auto* toolbar = frame->findChild<QToolBar*>();
    QVERIFY(toolbar != nullptr);
    // Open, Open Recent (its menu) and Text Dump.
    QCOMPARE(toolbar->actions().size(), 3);
    QCOMPARE(toolbar->actions().front(), frame->OpenAction());
    auto* recent = qobject_cast<QToolButton*>(toolbar->widgetForAction(toolbar->actions().at(1)));
    QVERIFY(recent != nullptr && recent->menu() == frame->RecentMenu());
    QCOMPARE(toolbar->iconSize(), QSize(32, 32));
    QAction* dump = toolbar->actions().back();
    QCOMPARE(dump->toolTip(), QStringLiteral("Dump to Text"));
    QCOMPARE(dump->statusTip(), QStringLiteral("Dump Capture Files to Text files"));
    QVERIFY(!dump->icon().isNull());

    // Resting on the button puts its prompt into the message pane.
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(dump));
    QVERIFY(button != nullptr);
    QTest::mouseMove(button, button->rect().center());
    QTRY_COMPARE(frame->statusBar()->currentMessage(),
                 QStringLiteral("Dump Capture Files to Text files"));
  }

  // Options > GSD Folders: a folder added through the folder dialog and what was read from it;
  // the folders stored at once, kept across a restart and read again at the start.
  void gsdFoldersRoundTrip() {
    const QString folder = QString::fromStdString(fdc::ui::test::GsdTestFolder());
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(frame->GsdLibrary() == nullptr);
    QString summary;
    ModalWatcher watcher;
    watcher.onFileDialog = Choose(folder);
    watcher.onOtherDialog = [&](QDialog* dialog) {
      auto* folders = qobject_cast<GsdFoldersDialog*>(dialog);
      if (folders == nullptr) return dialog->reject();
      QCOMPARE(folders->Summary()->toPlainText(),
               QStringLiteral("No GSD folders: the DP slaves are not named by GSD files."));
      // After the watcher's turn: the folder dialog that Add opens needs the watcher too.
      QTimer::singleShot(0, folders, [folders, &summary] {
        QTest::mouseClick(folders->AddButton(), Qt::LeftButton);
        summary = folders->Summary()->toPlainText();
        folders->accept();
      });
    };
    frame->GsdFoldersAction()->trigger();
    QCOMPARE(watcher.fileDialogTitles, QStringList{QStringLiteral("Add a GSD Folder")});
    QVERIFY2(summary.startsWith(QStringLiteral("3 GSD files for 2 idents")), qPrintable(summary));
    QVERIFY(frame->GsdLibrary() != nullptr);
    QCOMPARE(frame->HealthArea()->Settings().gsd, frame->GsdLibrary());
    QVERIFY(ReadTextFile(fdc::ui::test::SettingsFilePath()).contains("GsdFolders="));

    App().ExitInstance();
    QVERIFY(App().InitInstance());
    QCOMPARE(App().Settings().Window.GsdFolders, std::vector<std::string>{S(folder)});
    const auto& library = App().MainFrame()->GsdLibrary();
    QVERIFY(library != nullptr);
    QCOMPARE(library->FileCount(), std::size_t{3});
    QCOMPARE(App().MainFrame()->HealthArea()->Settings().gsd, library);
  }

  void textDumpCommandShowsDialogModally() {
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QString title;
    bool modal = false;
    ModalWatcher watcher;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      title = dialog->windowTitle();
      modal = dialog->isModal();
      QTest::keyClick(dialog, Qt::Key_Escape);
    };
    frame->TextDumpAction()->trigger();
    QCOMPARE(title, QStringLiteral("TeloFdcCaptAnlz - TextDump"));
    QVERIFY(modal);
  }

  void fileMenuKeys() {
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QString title;
    ModalWatcher watcher;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      title = dialog->windowTitle();
      QTest::keyClick(dialog, Qt::Key_Escape);
    };
    QTest::keyClick(frame, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(title, QStringLiteral("TeloFdcCaptAnlz - TextDump"));
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QTest::keyClick(frame, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!frame->isVisible());
    // Quit closed the window as its close box does: the placement is kept.
    const int left = frame->frameGeometry().left();
    App().ExitInstance();
    QCOMPARE(StoredText("WinMinX"), QString::number(left));
  }

  void indicatorsWithoutKeyboardState() {
    if (CanReadLockStates()) QSKIP("the lock keys can be read on this display");
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(frame->Indicator(i)->text(), (QStringList{"CAP", "NUM", "SCRL"}.at(i)));
      QVERIFY(!frame->Indicator(i)->isEnabled());
    }
  }

  void indicatorsOnX11() {
#if defined(FDC_HAVE_XKB)
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) QSKIP("not on an X server");
    Display* display = x11->display();
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    XkbLockModifiers(display, XkbUseCoreKbd, LockMask, 0);
    XSync(display, False);
    frame->UpdateIndicators();
    QCOMPARE(frame->Indicator(0)->text(), QString());
    QVERIFY(frame->Indicator(0)->isEnabled());
    XkbLockModifiers(display, XkbUseCoreKbd, LockMask, LockMask);
    XSync(display, False);
    QTRY_COMPARE(frame->Indicator(0)->text(), QStringLiteral("CAP"));
    QVERIFY(frame->Indicator(0)->isEnabled());
    XkbLockModifiers(display, XkbUseCoreKbd, LockMask, 0);
    XSync(display, False);
    QTRY_COMPARE(frame->Indicator(0)->text(), QString());
#else
    QSKIP("built without the X keyboard extension");
#endif
  }

  void helpKey_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("main window") << "frame" << int(Qt::NoModifier);
    QTest::newRow("main window, Shift+F1") << "frame" << int(Qt::ShiftModifier);
    QTest::newRow("text dump dialog field") << "dialog" << int(Qt::NoModifier);
  }
  void helpKey() {
    QFETCH(QString, where);
    QFETCH(int, modifiers);
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QWidget* target = frame;
    if (where == "dialog") {
      TextDump& dialog = frame->TextDumpDialog();
      dialog.OnInitDialog();
      dialog.show();
      target = Edit(dialog, kIdStartRef);
    }
    ModalWatcher watcher;
    QTest::keyClick(target, Qt::Key_F1, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].text, QStringLiteral("Unrecognized Help Command"));
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Critical);
    frame->TextDumpDialog().hide();
  }

  void aboutBox() {
    QVERIFY(App().InitInstance());
    QString title;
    QString version;
    ModalWatcher watcher;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      title = dialog->windowTitle();
      version = dialog->findChild<QLabel*>("version")->text();
      QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
    };
    App().MainFrame()->AboutAction()->trigger();
    QCOMPARE(title, QStringLiteral("About TeloFdcCaptAnlz"));
    QCOMPARE(version, QStringLiteral("TeloFdcCaptAnlz Version 4.1.1"));
  }

  // --- Text dump dialog: template ---

  void dialogCaptionAndSize() {
    auto dialog = OpenDialog(ValidValues());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("TeloFdcCaptAnlz - TextDump"));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    const PixelRect size = DialogUnitsToPixels(0, 0, 269, 137, BaseUnitsOf(dialog->font()));
    QCOMPARE(dialog->size(), QSize(size.width, size.height));
  }

  void dialogTabOrder() {
    auto dialog = OpenDialog(ValidValues());
    QStringList order;
    QWidget* first = dialog->Control(kIdFileName);
    QWidget* widget = first;
    do {
      if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible()) {
        order << widget->objectName();
      }
      widget = widget->nextInFocusChain();
    } while (widget != first);
    QCOMPARE(order.join(' '), QStringLiteral("1024 1027 1025 1028 1026 1034 1035 1036 1037 1038 "
                                             "1039 1040 1041 1029 1030 3 1"));
  }

  void tabWrapsAround_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<int>("to");
    QTest::newRow("Tab from the last button") << 1 << false << 1024;
    QTest::newRow("Shift+Tab from the first field") << 1024 << true << 1;
    QTest::newRow("Tab from Execute") << 3 << false << 1;
  }
  void tabWrapsAround() {
    QFETCH(int, from);
    QFETCH(bool, backwards);
    QFETCH(int, to);
    auto dialog = OpenDialog(ValidValues());
    dialog->Control(from)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(from));
    ModalWatcher watcher;
    QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                    backwards ? Qt::ShiftModifier : Qt::NoModifier);
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(to));
    QVERIFY(dialog->isVisible());
  }

  void mnemonics_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("Alt+F FileName") << int(Qt::Key_F) << "focus 1024";
    QTest::newRow("Alt+O OptionFile") << int(Qt::Key_O) << "focus 1025";
    QTest::newRow("Alt+S StartRef") << int(Qt::Key_S) << "focus 1034";
    QTest::newRow("Alt+D EndRef") << int(Qt::Key_D) << "focus 1035";
    QTest::newRow("Alt+N NumMin") << int(Qt::Key_N) << "focus 1036";
    QTest::newRow("Alt+P Editor Path") << int(Qt::Key_P) << "focus 1029";
    QTest::newRow("Alt+A Auto Exec Editor") << int(Qt::Key_A) << "auto edit off";
    QTest::newRow("Alt+B capture Browse") << int(Qt::Key_B) << "file dialog Open Capture File";
    QTest::newRow("Alt+R option Browse") << int(Qt::Key_R) << "file dialog Open Option File";
    QTest::newRow("Alt+W editor Browse") << int(Qt::Key_W) << "file dialog Choose Editor";
    QTest::newRow("Alt+E Edit") << int(Qt::Key_E)
                                << "message The editor could not be started: /nonexistent/editor";
    QTest::newRow("Alt+X Execute") << int(Qt::Key_X)
                                   << "message Unable to Open Input File "
                                      "/nonexistent/Line11430.FdcCapt";
    QTest::newRow("Alt+C Cancel") << int(Qt::Key_C) << "closed";
  }
  void mnemonics() {
    QFETCH(int, key);
    QFETCH(QString, outcome);
    TextDumpValues values = ValidValues();
    values.AutoEdit = true;
    values.EditorPath = "/nonexistent/editor";
    auto dialog = OpenDialog(values);
    // From a control that no mnemonic leads to.
    dialog->Control(kIdAccept)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdAccept));
    ModalWatcher watcher;
    QTest::keyClick(dialog.get(), Qt::Key(key), Qt::AltModifier);
    const auto seen = [&]() -> QString {
      if (!dialog->isVisible()) return QStringLiteral("closed");
      if (!watcher.fileDialogTitles.isEmpty()) return "file dialog " + watcher.fileDialogTitles[0];
      if (!watcher.boxes.isEmpty()) return "message " + watcher.boxes[0].text;
      if (!AutoEditBox(*dialog)->isChecked()) return QStringLiteral("auto edit off");
      return "focus " + QApplication::focusWidget()->objectName();
    };
    // A button's mnemonic presses it with a click shown for a moment.
    QTRY_COMPARE(seen(), outcome);
  }

  void mnemonicsAreUnique() {
    auto dialog = OpenDialog(ValidValues());
    QStringList owners;
    QMap<QString, QString> byKey;
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
      QString text;
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->buddy() == nullptr) continue;
        text = label->text();
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        text = button->text();
      } else {
        continue;
      }
      const QString key = QKeySequence::mnemonic(text).toString();
      QVERIFY2(!key.isEmpty(), qPrintable(text + " has no mnemonic"));
      QVERIFY2(!byKey.contains(key), qPrintable(text + " shares " + key + " with " + byKey[key]));
      byKey[key] = text;
    }
    // The six labels with their fields, the seven push buttons with Stop, the check box.
    QCOMPARE(byKey.size(), 6 + 7 + 1);
  }

  void cancelButtonSaysWhatItDoes() {
    auto dialog = OpenDialog(ValidValues());
    QCOMPARE(Button(*dialog, kIdAccept)->toolTip(),
             QStringLiteral("Stores the fields and closes the dialog, as Enter does. Escape "
                            "closes without storing."));
  }

  void dialogTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("capture Browse") << 1027 << "&Browse";
    QTest::newRow("option Browse") << 1028 << "B&rowse";
    QTest::newRow("Edit") << 1026 << "&Edit";
    QTest::newRow("editor Browse") << 1030 << "Bro&wse";
    QTest::newRow("Execute") << 3 << "E&xecute";
    QTest::newRow("accept button") << 1 << "&Cancel";
    QTest::newRow("check box") << 1041 << "&Auto Exec Editor";
    QTest::newRow("editor label") << 1042 << "Editor &Path";
    QTest::newRow("group box") << 1045 << "OptFile:" + QString(105, ' ') + "-";
  }
  void dialogTexts() {
    QFETCH(int, id);
    QFETCH(QString, text);
    auto dialog = OpenDialog(ValidValues());
    QWidget* control = dialog->Control(id);
    QVERIFY(control != nullptr);
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) shown = button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) shown = label->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) shown = group->title();
    QCOMPARE(shown, text);
  }

  void dialogLabels() {
    auto dialog = OpenDialog(ValidValues());
    QStringList labels;
    QStringList buddies;
    for (QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
      if (label == dialog->FileProgressLine()) continue;
      labels << label->text();
      buddies << (label->buddy() != nullptr ? label->buddy()->objectName() : QString());
    }
    QCOMPARE(labels, (QStringList{"&FileName", "&OptionFile", "&StartRef", "En&dRef", "&NumMin",
                                  "Editor &Path"}));
    QCOMPARE(buddies, (QStringList{"1024", "1025", "1034", "1035", "1036", "1029"}));
  }

  void dialogNothingClipped() {
    auto dialog = OpenDialog(ValidValues());
    QStyle* style = dialog->style();
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QString name = child->objectName();
      if (auto* label = qobject_cast<QLabel*>(child)) {
        QVERIFY2(TextFits(label, Shown(label->text()), 0), qPrintable(label->text()));
        QVERIFY2(label->fontMetrics().height() <= label->height(), qPrintable(label->text()));
      } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
        const int box = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                        style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check);
        QVERIFY(TextFits(check, Shown(check->text()), box));
      } else if (auto* button = qobject_cast<QPushButton*>(child)) {
        const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        QVERIFY2(TextFits(button, Shown(button->text()), frame), qPrintable(name));
        QVERIFY2(button->fontMetrics().height() + frame <= button->height(), qPrintable(name));
      } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
        QVERIFY(TextFits(group, group->title(), 2 * group->fontMetrics().averageCharWidth()));
      } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
        const int frame = edit->hasFrame()
                              ? 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit)
                              : 0;
        QVERIFY2(edit->fontMetrics().height() + frame <= edit->height(), qPrintable(name));
      }
      QVERIFY2(dialog->rect().contains(child->geometry()), qPrintable(name));
    }
  }

  void dialogInitialStates_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("enabled");
    for (int id : {1045, 1044, 1031, 1037, 1032, 1038, 1033, 1039, 1043, 1040, 1042, 1029, 1030}) {
      QTest::addRow("%d disabled", id) << id << false;
    }
    for (int id : {1024, 1027, 1025, 1028, 1026, 1034, 1035, 1036, 1041, 3, 1}) {
      QTest::addRow("%d enabled", id) << id << true;
    }
  }
  void dialogInitialStates() {
    QFETCH(int, id);
    QFETCH(bool, enabled);
    TextDumpValues values = ValidValues();
    values.AutoEdit = false;
    auto dialog = OpenDialog(values);
    QCOMPARE(dialog->Control(id)->isEnabled(), enabled);
  }

  void dialogOpeningShowsValues() {
    TextDumpValues values = ValidValues();
    values.EndRef = 5;
    values.StartRef = 6;
    values.NumMin = 7;
    values.ArgValue[2] = "0x10";
    auto dialog = OpenDialog(values);
    QCOMPARE(Edit(*dialog, kIdFileName)->text(), QStringLiteral("/nonexistent/Line11430.FdcCapt"));
    QCOMPARE(Edit(*dialog, kIdEndRef)->text(), QStringLiteral("0"));
    QCOMPARE(Edit(*dialog, kIdStartRef)->text(), QStringLiteral("0"));
    QCOMPARE(Edit(*dialog, kIdNumMin)->text(), QStringLiteral("1"));
    QCOMPARE(Edit(*dialog, kIdArgValue2)->text(), QStringLiteral("0x10"));
    QCOMPARE(Edit(*dialog, kIdDescription)->text(),
             QStringLiteral("Option File description not available"));
    QCOMPARE(Edit(*dialog, kIdArgName3)->text(), QStringLiteral("N/A"));
    QCOMPARE(Edit(*dialog, kIdFileName)->maxLength(), 256);
    QCOMPARE(Edit(*dialog, kIdArgValue0)->maxLength(), 20);
    QCOMPARE(QApplication::focusWidget(), dialog->Control(kIdFileName));
  }

  void secondOpeningResetsNumbers() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdStartRef)->setText("7");
    Edit(*dialog, kIdEndRef)->setText("9");
    Edit(*dialog, kIdNumMin)->setText("3");
    Edit(*dialog, kIdArgValue1)->setText("-5");
    Edit(*dialog, kIdFileName)->setText("/x/Line10000.FdcCapt");
    QTest::mouseClick(Button(*dialog, kIdAccept), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->Values().NumMin, 3u);
    dialog->OnInitDialog();
    dialog->show();
    QCOMPARE(Edit(*dialog, kIdStartRef)->text(), QStringLiteral("0"));
    QCOMPARE(Edit(*dialog, kIdEndRef)->text(), QStringLiteral("0"));
    QCOMPARE(Edit(*dialog, kIdNumMin)->text(), QStringLiteral("1"));
    QCOMPARE(Edit(*dialog, kIdArgValue1)->text(), QStringLiteral("-5"));
    QCOMPARE(Edit(*dialog, kIdFileName)->text(), QStringLiteral("/x/Line10000.FdcCapt"));
  }

  // --- Text dump dialog: storing, keys, focus ---

  void acceptRefusedByCheck_data() {
    QTest::addColumn<QStringList>("overrides");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("focusId");
    QTest::newRow("EndRef abc") << QStringList{"1035=abc"} << "Please enter a positive integer."
                                << 1035;
    QTest::newRow("NumMin 0") << QStringList{"1036=0"}
                              << "Please enter an integer between 1 and 1439." << 1036;
    QTest::newRow("NumMin reported before StartRef")
        << QStringList{"1034=x", "1036=2000"} << "Please enter an integer between 1 and 1439."
        << 1036;
    QTest::newRow("FileName too long") << QStringList{"1024=" + QString(300, 'f')}
                                       << "Please enter no more than 256 characters." << 1024;
  }
  void acceptRefusedByCheck() {
    QFETCH(QStringList, overrides);
    QFETCH(QString, message);
    QFETCH(int, focusId);
    TextDumpValues values = ValidValues();
    values.FileName = std::string(300, 'f');  // a path from the settings beyond the limit
    auto dialog = OpenDialog(values);
    Edit(*dialog, kIdFileName)->setText("/ok/Line11430.FdcCapt");
    for (const QString& row : overrides) {
      const qsizetype cut = row.indexOf('=');
      if (row.left(cut).toInt() == kIdFileName) {
        Edit(*dialog, kIdFileName)->setText(QString::fromStdString(values.FileName));
        continue;
      }
      Edit(*dialog, row.left(cut).toInt())->setText(row.mid(cut + 1));
    }
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdAccept), Qt::LeftButton);
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].text, message);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("TeloFdcCaptAnlz"));
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Warning);
    QVERIFY(dialog->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(focusId));
  }

  void acceptStoresAndCloses() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdFileName)->setText("/new/Line10101.FdcCapt");
    Edit(*dialog, kIdNumMin)->setText("12abc");
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdAccept), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(dialog->Values().FileName, std::string("/new/Line10101.FdcCapt"));
    QCOMPARE(dialog->Values().NumMin, 12u);
  }

  void dismissWithoutStoring_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape") << true;
    QTest::newRow("close box") << false;
  }
  void dismissWithoutStoring() {
    QFETCH(bool, escape);
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdFileName)->setText("/typed/Line10000.FdcCapt");
    Edit(*dialog, kIdEndRef)->setText("not a number");
    ModalWatcher watcher;
    if (escape) {
      QTest::keyClick(Edit(*dialog, kIdFileName), Qt::Key_Escape);
    } else {
      dialog->close();
    }
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(dialog->Values().FileName, std::string("/nonexistent/Line11430.FdcCapt"));
    // No message comes, also a little later (a time: no event tells it).
    QTest::qWait(50);
    QCOMPARE(watcher.boxes.size(), 0);
  }

  void enterKey_data() {
    QTest::addColumn<int>("focusId");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QStringList>("messages");
    const QString invalidName =
        "Invalid Capture File Name\nIt must be in the following form:\n"
        "<name>HHMM.FdcCapt\nNote:\n<name> is the user defined portion "
        "of the name\nHH is the hour   the file was created\nMM is the "
        "minute the file was created";
    QTest::newRow("in FileName") << 1024 << true << QStringList{};
    QTest::newRow("in ArgValue0") << 1037 << true << QStringList{};
    QTest::newRow("on the check box") << 1041 << true << QStringList{};
    QTest::newRow("on Execute") << 3 << false << QStringList{invalidName};
    QTest::newRow("on the accept button") << 1 << true << QStringList{};
    QTest::newRow("on capture Browse") << 1027 << false << QStringList{};
  }
  void enterKey() {
    QFETCH(int, focusId);
    QFETCH(bool, closes);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    WriteTextFile(dir.filePath("station.opt"), "ArgName0=Station\n");
    TextDumpValues values = ValidValues();
    values.FileName = "/typed/Line1.txt";
    values.OptionFile = S(dir.filePath("station.opt"));
    auto dialog = OpenDialog(values);
    dialog->Control(focusId)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(focusId));
    ModalWatcher watcher;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Enter does something wherever it is: it closes the dialog, or shows a message or a file
    // dialog.
    QTRY_VERIFY(!dialog->isVisible() || !watcher.boxes.isEmpty() ||
                !watcher.fileDialogFilters.isEmpty());
    QCOMPARE(!dialog->isVisible(), closes);
    QCOMPARE(watcher.Texts(), messages);
    QCOMPARE(watcher.fileDialogFilters.size(), focusId == 1027 ? 1 : 0);
  }

  void numberFieldLosingFocusStores() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdEndRef)->setText("42");
    Edit(*dialog, kIdEndRef)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdEndRef));
    ModalWatcher watcher;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(dialog->Values().EndRef, 42u);
    QCOMPARE(watcher.boxes.size(), 0);
  }

  void numberFieldLosingFocusReportsOnce() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdStartRef)->setText("abc");
    Edit(*dialog, kIdStartRef)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdStartRef));
    ModalWatcher watcher;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].text, QStringLiteral("Please enter a positive integer."));
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdStartRef));
    // The message box took the focus and gave it back: no further store, no loop of messages.
    QTest::qWait(200);
    QCOMPARE(watcher.boxes.size(), 1);
  }

  void numberFieldLosingFocusToButtonReportsOnce() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdNumMin)->setText("0");
    Edit(*dialog, kIdNumMin)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdNumMin));
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
    QTRY_COMPARE(watcher.boxes.size(), 1);
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(kIdNumMin));
    // The message box took the focus and gave it back: no loop of messages (a time:
    // no event tells it).
    QTest::qWait(200);
    QCOMPARE(watcher.Texts(), QStringList{"Please enter an integer between 1 and 1439."});
  }

  void autoEditClick_data() {
    QTest::addColumn<bool>("startChecked");
    QTest::addColumn<QString>("endRef");
    QTest::addColumn<bool>("checkedAfter");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("switch on") << false << "0" << true << QStringList{};
    QTest::newRow("switch off") << true << "0" << false << QStringList{};
    // The store stops at EndRef, before the flag; loading the values back undoes the click.
    QTest::newRow("failing store undoes the click")
        << false << "x" << false << QStringList{"Please enter a positive integer."};
  }
  void autoEditClick() {
    QFETCH(bool, startChecked);
    QFETCH(QString, endRef);
    QFETCH(bool, checkedAfter);
    QFETCH(QStringList, messages);
    TextDumpValues values = ValidValues();
    values.AutoEdit = startChecked;
    auto dialog = OpenDialog(values);
    Edit(*dialog, kIdEndRef)->setText(endRef);
    ModalWatcher watcher;
    QTest::mouseClick(AutoEditBox(*dialog), Qt::LeftButton);
    QCOMPARE(watcher.Texts(), messages);
    QCOMPARE(AutoEditBox(*dialog)->isChecked(), checkedAfter);
    QCOMPARE(dialog->Values().AutoEdit, checkedAfter);
    for (int id : {kIdEditorPathLabel, kIdEditorPath, kIdBrowseEditor}) {
      QCOMPARE(dialog->Control(id)->isEnabled(), checkedAfter);
    }
  }

  // --- Execute ---

  void execute_data() {
    QTest::addColumn<QString>("captureName");  // written into the folder when not empty
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("endRef");
    QTest::addColumn<QString>("message");  // <dir> stands for the folder
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("dumpEnd");  // the last text of the dump, empty: no dump file
    const QString invalidName =
        "Invalid Capture File Name\nIt must be in the following form:\n"
        "<name>HHMM.FdcCapt\nNote:\n<name> is the user defined portion "
        "of the name\nHH is the hour   the file was created\nMM is the "
        "minute the file was created";
    const int info = QMessageBox::Information;
    const int error = QMessageBox::Critical;
    const QString both = "\n2 records read, 2 lines written, 0 synchronisation losses";
    QTest::newRow("created") << "cap1430.FdcCapt"
                             << "cap1430.FdcCapt"
                             << "0"
                             << "<dir>/cap1430_tiny.txt Created" + both << info
                             << "End of Capture Data";
    QTest::newRow("upper-case extension")
        << "cap1430.FDCCAPT"
        << "cap1430.FDCCAPT"
        << "0"
        << "<dir>/cap1430_tiny.txt Created" + both << info << "End of Capture Data";
    QTest::newRow("hour 99") << "cap9959.FdcCapt"
                             << "cap9959.FdcCapt"
                             << "0"
                             << "<dir>/cap9959_tiny.txt Created" + both << info
                             << "End of Capture Data";
    // The run reads the second record to find that it lies past the end.
    QTest::newRow("EndRef 1 ends early")
        << "cap1430.FdcCapt"
        << "cap1430.FdcCapt"
        << "1"
        << "<dir>/cap1430_tiny.txt Created\n2 records read, 1 line written, 0 synchronisation "
           "losses"
        << info << "Last Reference Reached";

    QTest::newRow("minute 60") << "cap1260.FdcCapt"
                               << "cap1260.FdcCapt"
                               << "0"
                               << "Invalid Capture File Name Minute (00-59)\n"
                               << error << "";
    QTest::newRow("invalid name") << ""
                                  << "cap1430.txt"
                                  << "0" << invalidName << error << "";
    QTest::newRow("missing capture file")
        << ""
        << "cap1431.FdcCapt"
        << "0"
        << "Unable to Open Input File <dir>/cap1431.FdcCapt" << error << "";
  }
  void execute() {
    QFETCH(QString, captureName);
    QFETCH(QString, fileName);
    QFETCH(QString, endRef);
    QFETCH(QString, message);
    QFETCH(int, icon);
    QFETCH(QString, dumpEnd);
    QTemporaryDir dir;
    if (!captureName.isEmpty()) WriteCapture(dir.filePath(captureName));
    WriteTextFile(dir.filePath("tiny.opt"), "Descrip=Tiny run\n");
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath(fileName));
    values.OptionFile = S(dir.filePath("tiny.opt"));
    values.AutoEdit = false;
    auto dialog = OpenDialog(values);
    Edit(*dialog, kIdEndRef)->setText(endRef);
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
    QTRY_COMPARE(watcher.Texts(), QStringList{QString(message).replace("<dir>", dir.path())});
    QCOMPARE(int(watcher.boxes[0].icon), icon);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("TeloFdcCaptAnlz"));
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->Running());
    QVERIFY(!dialog->ProgressLine()->isVisible());
    QVERIFY(!dialog->FileProgressLine()->isVisible());
    const QString dumpPath = dir.filePath(fileName.left(7) + "_tiny.txt");
    if (!dumpEnd.isEmpty()) {
      QVERIFY(ReadTextFile(dumpPath).trimmed().endsWith(dumpEnd.toUtf8()));
      QVERIFY2(dialog->FileProgressLine()->text().startsWith("File 1 of 1: " + fileName),
               qPrintable(dialog->FileProgressLine()->text()));
    }
    if (icon == QMessageBox::Critical && captureName.isEmpty()) {
      QVERIFY(!QFile::exists(dumpPath) || message.startsWith("Unable to Open Input"));
    }
  }

  void executeStartsEditor() {
    QTemporaryDir dir;
    WriteCapture(dir.filePath("run 1430.FdcCapt"));
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("run 1430.FdcCapt"));
    values.OptionFile = "";
    values.AutoEdit = true;
    values.EditorPath = S(WriteFakeEditor(dir));
    auto dialog = OpenDialog(values);
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
    QTRY_VERIFY(QFile::exists(dir.filePath("editor.out")));
    QCOMPARE(QString::fromUtf8(ReadTextFile(dir.filePath("editor.out"))),
             "1\n" + dir.filePath("run 1430_.txt") + "\n");
    QVERIFY(!dialog->Running());
    QCOMPARE(watcher.boxes.size(), 0);
  }

  void executeEditorThatCannotStart_data() {
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("line");
    QTest::newRow("missing program") << "/nonexistent/editor"
                                     << "The editor could not be started: /nonexistent/editor";
    QTest::newRow("empty path") << ""
                                << "The editor could not be started: no Editor Path is set.";
  }
  void executeEditorThatCannotStart() {
    QFETCH(QString, editor);
    QFETCH(QString, line);
    QTemporaryDir dir;
    WriteCapture(dir.filePath("cap1430.FdcCapt"));
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("cap1430.FdcCapt"));
    values.OptionFile = "";
    values.AutoEdit = true;
    values.EditorPath = S(editor);
    auto dialog = OpenDialog(values);
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
    QTRY_COMPARE(watcher.Texts(),
                 QStringList{dir.filePath("cap1430_.txt") +
                             " Created\n2 records read, 2 lines written, 0 synchronisation "
                             "losses\n" +
                             line});
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Information);
  }

  void editButtonOpensOptionFile_data() {
    QTest::addColumn<bool>("autoEdit");
    QTest::newRow("auto edit on") << true;
    QTest::newRow("auto edit off") << false;
  }
  void editButtonOpensOptionFile() {
    QFETCH(bool, autoEdit);
    QTemporaryDir dir;
    TextDumpValues values = ValidValues();
    values.OptionFile = S(dir.filePath("my options.opt"));
    values.EditorPath = S(WriteFakeEditor(dir));
    values.AutoEdit = autoEdit;
    auto dialog = OpenDialog(values);
    QVERIFY(dialog->Control(kIdEditOptionFile)->isEnabled());
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdEditOptionFile), Qt::LeftButton);
    QTRY_VERIFY(QFile::exists(dir.filePath("editor.out")));
    QCOMPARE(QString::fromUtf8(ReadTextFile(dir.filePath("editor.out"))),
             "1\n" + dir.filePath("my options.opt") + "\n");
    QCOMPARE(watcher.boxes.size(), 0);
  }

  void editButtonReportsEditorFailureAndChecks() {
    TextDumpValues values = ValidValues();
    values.EditorPath = "/nonexistent/editor";
    auto dialog = OpenDialog(values);
    Edit(*dialog, kIdStartRef)->setText("");
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdEditOptionFile), Qt::LeftButton);
    Edit(*dialog, kIdStartRef)->setText("0");
    QTest::mouseClick(Button(*dialog, kIdEditOptionFile), Qt::LeftButton);
    QCOMPARE(watcher.Texts(),
             (QStringList{"Please enter a positive integer.",
                          "The editor could not be started: /nonexistent/editor"}));
    QCOMPARE(watcher.boxes[1].icon, QMessageBox::Critical);
  }

  // --- File dialogs ---

  void browse_data() {
    QTest::addColumn<int>("buttonId");
    QTest::addColumn<int>("fieldId");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("chosen");  // a name in the folder
    QTest::newRow("capture file") << 1027 << 1024 << "Open Capture File"
                                  << "FDC Capture File (*.FdcCapt)"
                                  << "new1430.FdcCapt";
    QTest::newRow("capture file, default extension") << 1027 << 1024 << "Open Capture File"
                                                     << "FDC Capture File (*.FdcCapt)"
                                                     << "new1430";
    QTest::newRow("option file") << 1028 << 1025 << "Open Option File"
                                 << "Capture Option File (*.opt)"
                                 << "new.opt";
    // An editor need not exist yet to be named.
    QTest::newRow("editor") << 1030 << 1029 << "Choose Editor"
                            << "Editor Program (*)"
                            << "myeditor";
  }
  void browse() {
    QFETCH(int, buttonId);
    QFETCH(int, fieldId);
    QFETCH(QString, title);
    QFETCH(QString, filter);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
    for (const char* name : {"new1430.FdcCapt", "new.opt", "old.opt"}) {
      WriteTextFile(dir.filePath(name), "Descrip=x\n");
    }
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("old1430.FdcCapt"));
    values.OptionFile = S(dir.filePath("old.opt"));
    values.EditorPath = S(dir.filePath("oldeditor"));
    values.AutoEdit = true;
    auto dialog = OpenDialog(values);
    // Typed but not stored: a confirmed browse loads the stored values over it.
    Edit(*dialog, kIdArgValue0)->setText("typed");
    const int otherId = fieldId == kIdFileName ? kIdOptionFile : kIdFileName;
    const QString storedOther = Edit(*dialog, otherId)->text();
    Edit(*dialog, otherId)->setText("typed");

    QString startFolder;
    QString startName;
    bool native = true;
    ModalWatcher watcher;
    watcher.onFileDialog = [&](QFileDialog* files) {
      startFolder = files->directory().absolutePath();
      startName = files->selectedFiles().value(0);
      native = !files->testOption(QFileDialog::DontUseNativeDialog);
      TypeAndConfirm(files, dir.filePath(chosen));
    };
    QTest::mouseClick(Button(*dialog, buttonId), Qt::LeftButton);
    QCOMPARE(watcher.fileDialogTitles, QStringList{title});
    const QStringList filters{filter, QStringLiteral("All Files (*)")};
    QCOMPARE(watcher.fileDialogFilters, QList<QStringList>{filters});
    QVERIFY(!native);
    QCOMPARE(startFolder, dir.path());
    QCOMPARE(QFileInfo(startName).fileName(),
             QStringList({"old1430.FdcCapt", "old.opt", "oldeditor"})
                 .at(buttonId == 1027   ? 0
                     : buttonId == 1028 ? 1
                                        : 2));
    QString expected = dir.filePath(chosen);
    if (!chosen.contains('.') && buttonId == 1027) expected += ".FdcCapt";
    QCOMPARE(Edit(*dialog, fieldId)->text(), expected);
    QCOMPARE(Edit(*dialog, otherId)->text(), storedOther);
    QCOMPARE(Edit(*dialog, kIdArgValue0)->text(), QString());
  }

  void browseRefusesMissingFile_data() {
    QTest::addColumn<int>("buttonId");
    QTest::addColumn<int>("fieldId");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("capture file") << 1027 << 1024 << "gone1430.FdcCapt";
    QTest::newRow("option file") << 1028 << 1025 << "gone.opt";
  }
  void browseRefusesMissingFile() {
    QFETCH(int, buttonId);
    QFETCH(int, fieldId);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
    auto dialog = OpenDialog(ValidValues());
    const QString before = Edit(*dialog, fieldId)->text();
    ModalWatcher watcher;
    watcher.onFileDialog = ChooseOrGiveUp(dir.filePath(chosen));
    QTest::mouseClick(Button(*dialog, buttonId), Qt::LeftButton);
    // The file dialog said that the file does not exist, and kept the user choosing.
    QCOMPARE(watcher.boxes.size(), 1);
    QVERIFY2(watcher.boxes[0].text.contains("File not found"), qPrintable(watcher.boxes[0].text));
    QCOMPARE(Edit(*dialog, fieldId)->text(), before);
  }

  void optionBrowseStartsInCaptureFolder_data() {
    QTest::addColumn<QString>("optionFile");
    QTest::newRow("empty option file") << "";
    QTest::newRow("missing option file") << "/nonexistent/fdc/gone.opt";
  }
  void optionBrowseStartsInCaptureFolder() {
    QFETCH(QString, optionFile);
    QTemporaryDir dir;
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("run1430.FdcCapt"));
    values.OptionFile = S(optionFile);
    auto dialog = OpenDialog(values);
    QString startFolder;
    ModalWatcher watcher;
    watcher.onFileDialog = [&](QFileDialog* files) {
      startFolder = files->directory().absolutePath();
      files->reject();
    };
    QTest::mouseClick(Button(*dialog, kIdBrowseOptionFile), Qt::LeftButton);
    QCOMPARE(startFolder, dir.path());
    QCOMPARE(Edit(*dialog, kIdOptionFile)->text(), optionFile);
  }

  void fileDialogsAreThePlatformsUnlessAsked() {
    const FileDialogChoice choice{"Open Capture File", "FDC Capture File (*.FdcCapt)", "FdcCapt",
                                  BrowseStart{}, true};
    QFileDialog platforms;
    UseQtFileDialogs(false);
    ConfigureFileDialog(platforms, choice);
    UseQtFileDialogs(true);
    QVERIFY(!platforms.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(platforms.fileMode(), QFileDialog::ExistingFile);
    QFileDialog qts;
    ConfigureFileDialog(qts, choice);
    QVERIFY(qts.testOption(QFileDialog::DontUseNativeDialog));
  }

  void browseCancelledChangesNothing() {
    auto dialog = OpenDialog(ValidValues());
    Edit(*dialog, kIdOptionFile)->setText("typed.opt");
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdBrowseCaptureFile), Qt::LeftButton);
    QCOMPARE(watcher.fileDialogFilters.size(), 1);
    QCOMPARE(Edit(*dialog, kIdOptionFile)->text(), QStringLiteral("typed.opt"));
    QCOMPARE(Edit(*dialog, kIdFileName)->text(), QStringLiteral("/nonexistent/Line11430.FdcCapt"));
  }

  // --- Description panel ---

  void descriptionPanel_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("enabled");  // 1045 1044 1031 1037 1032 1038 1033 1039 1043 1040
    QTest::addColumn<QString>("shown");    // description | names
    QTest::newRow("description and third argument")
        << QByteArray("descrip=Line 1 traffic\n  ArgName2=Station\n") << "1100001100"
        << "Line 1 traffic|N/A|N/A|Station|N/A";
    QTest::newRow("no description lines")
        << QByteArray("NoRef\n") << "0000000000"
        << "Option File description not available|N/A|N/A|N/A|N/A";
    QTest::newRow("names only") << QByteArray("ArgName0=Station\nArgName3=Gap\n") << "0011000011"
                                << "Option File description not available|Station|N/A|N/A|Gap";
  }
  void descriptionPanel() {
    QFETCH(QByteArray, content);
    QFETCH(QString, enabled);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    WriteTextFile(dir.filePath("panel.opt"), content);
    TextDumpValues values = ValidValues();
    values.OptionFile = S(dir.filePath("panel.opt"));
    values.ArgValue[1] = "kept";
    auto dialog = OpenDialog(values);
    QString states;
    for (int id : {1045, 1044, 1031, 1037, 1032, 1038, 1033, 1039, 1043, 1040}) {
      states += dialog->Control(id)->isEnabled() ? "1" : "0";
    }
    QCOMPARE(states, enabled);
    QStringList texts{Edit(*dialog, kIdDescription)->text()};
    for (int id : kArgNameIds) texts << Edit(*dialog, id)->text();
    QCOMPARE(texts.join('|'), shown);
    // A disabled value field keeps its text.
    QCOMPARE(Edit(*dialog, kIdArgValue1)->text(), QStringLiteral("kept"));
  }

  void panelFollowsOptionFile_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("shown");  // description, then the enabled value fields
    QTest::newRow("typed, editing not finished") << "typed"
                                                 << "first 1037";
    QTest::newRow("typed, editing finished") << "finished"
                                             << "second 1038";
    QTest::newRow("browse") << "browse"
                            << "second 1038";
    QTest::newRow("typed, then Execute") << "execute"
                                         << "second 1038";
    QTest::newRow("file changed, then Execute") << "changed"
                                                << "changed 1040";
    QTest::newRow("file changed in Edit's editor") << "edit"
                                                   << "edited 1039";
  }
  void panelFollowsOptionFile() {
    QFETCH(QString, how);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString a = dir.filePath("a.opt");
    const QString b = dir.filePath("b.opt");
    WriteTextFile(a, "Descrip=first\nArgName0=Station\n");
    WriteTextFile(b, "Descrip=second\nArgName1=Gap\n");
    // An editor that rewrites the file it is given.
    const QString editor = dir.filePath("rewrite.sh");
    WriteTextFile(editor, "#!/bin/sh\nprintf 'Descrip=edited\\nArgName2=Third\\n' > \"$1\"\n");
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TextDumpValues values = ValidValues();
    values.OptionFile = S(a);
    values.EditorPath = S(editor);
    auto dialog = OpenDialog(values);
    QCOMPARE(Edit(*dialog, kIdDescription)->text(), QStringLiteral("first"));
    ModalWatcher watcher;
    QLineEdit* optionFile = Edit(*dialog, kIdOptionFile);
    if (how == "typed") {
      optionFile->setText(b);
      QVERIFY(dialog->UpdateData(true));
    } else if (how == "finished") {
      optionFile->setFocus();
      QTRY_VERIFY(optionFile->hasFocus());
      optionFile->selectAll();
      QTest::keyClicks(optionFile, b);
      QTest::keyClick(optionFile, Qt::Key_Tab);
    } else if (how == "browse") {
      watcher.onFileDialog = Choose(b);
      QTest::mouseClick(Button(*dialog, kIdBrowseOptionFile), Qt::LeftButton);
    } else if (how == "execute" || how == "changed") {
      if (how == "execute") optionFile->setText(b);
      if (how == "changed") WriteTextFile(a, "Descrip=changed\nArgName3=Last\n");
      QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
      QTRY_COMPARE(watcher.boxes.size(), 1);  // the capture file does not exist
    } else if (how == "edit") {
      QTest::mouseClick(Button(*dialog, kIdEditOptionFile), Qt::LeftButton);
      QTRY_VERIFY(ReadTextFile(a).startsWith("Descrip=edited"));
      // The editor's window takes the focus, and the user comes back to the dialog.
      QWidget editorWindow;
      editorWindow.show();
      editorWindow.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&editorWindow));
      dialog->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    }
    QString seen = Edit(*dialog, kIdDescription)->text();
    for (int id : kArgValueIds) {
      if (dialog->Control(id)->isEnabled()) seen += " " + QString::number(id);
    }
    QCOMPARE(seen, shown);
  }

  void argumentsNotNamedGoAsZero_data() {
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QString>("counts");
    QTest::newRow("named: the typed value")
        << QByteArray("ArgName0=Station\nShowOnly\nCmdArg[0] == 5\n#\n")
        << "2 records read, 2 lines written, 0 synchronisation losses";
    QTest::newRow("not named: 0 whatever the field holds")
        << QByteArray("ShowOnly\nCmdArg[0] == 5\n#\n")
        << "2 records read, 0 lines written, 0 synchronisation losses\n"
           "0 lines matched the filter";
    QTest::newRow("not named, the filter asks for 0")
        << QByteArray("ShowOnly\nCmdArg[0] == 0\n#\n")
        << "2 records read, 2 lines written, 0 synchronisation losses";
  }
  void argumentsNotNamedGoAsZero() {
    QFETCH(QByteArray, options);
    QFETCH(QString, counts);
    QTemporaryDir dir;
    WriteCapture(dir.filePath("cap1430.FdcCapt"));
    WriteTextFile(dir.filePath("args.opt"), options);
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("cap1430.FdcCapt"));
    values.OptionFile = S(dir.filePath("args.opt"));
    values.AutoEdit = false;
    values.ArgValue[0] = "5";
    auto dialog = OpenDialog(values);
    ModalWatcher watcher;
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
    QTRY_COMPARE(watcher.Texts(),
                 QStringList{dir.filePath("cap1430_args.txt") + " Created\n" + counts});
    // The field keeps its text for a file that names the argument again.
    QCOMPARE(Edit(*dialog, kIdArgValue0)->text(), QStringLiteral("5"));
  }

  // --- Execute in the background ---

  void executeRunsInTheBackground() {
    QVERIFY(!TheLongRun().firstFile.isEmpty());
    auto dialog = OpenDialog(LongRunValues());
    const QString before = EnabledStates(*dialog);
    QCOMPARE(before, QStringLiteral("1024:1 1027:1 1025:1 1028:1 1026:1 1034:1 1035:1 1036:1 "
                                    "1045:1 1044:1 1031:1 1037:1 1032:0 1038:0 1033:0 1039:0 "
                                    "1043:0 1040:0 1041:1 1042:0 1029:0 1030:0 3:1 1:1"));
    ModalWatcher watcher;
    ExecuteLongRun(*dialog);
    QVERIFY(dialog->Running());
    // While it runs the fields, the browse and edit buttons and Execute take no input; "Cancel"
    // and Stop do, and Stop has the focus.
    QCOMPARE(EnabledStates(*dialog),
             QStringLiteral("1024:0 1027:0 1025:0 1028:0 1026:0 1034:0 1035:0 1036:0 1045:1 "
                            "1044:1 1031:1 1037:0 1032:0 1038:0 1033:0 1039:0 1043:0 1040:0 "
                            "1041:0 1042:0 1029:0 1030:0 3:0 1:1"));
    QVERIFY(dialog->StopButton()->isVisible());
    QVERIFY(dialog->StopButton()->isEnabled());
    QTRY_VERIFY(dialog->StopButton()->hasFocus());
    // A second press of Execute during the run is not acted on, neither now nor afterwards.
    QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);

    // The dialog follows the run: the open file among all 1439, the whole run's percentage and
    // the records read so far.
    const QRegularExpression fileLine(
        QStringLiteral("^File (\\d+) of 1439: long\\d{4}\\.FdcCapt "
                       "\\d+%$"));
    QTRY_VERIFY(fileLine.match(dialog->FileProgressLine()->text()).captured(1).toInt() >= 2);
    QVERIFY2(QRegularExpression(QStringLiteral("^%p% - \\d+ records read$"))
                 .match(dialog->ProgressLine()->format())
                 .hasMatch(),
             qPrintable(dialog->ProgressLine()->format()));
    QVERIFY(dialog->ProgressLine()->value() < 100);
    // The longest texts of a run fit their places.
    QVERIFY(TextFits(dialog->FileProgressLine(), "File 1439 of 1439: long2358.FdcCapt 100%", 0));
    QVERIFY(TextFits(dialog->ProgressLine(), "100% - 143900000 records read", 8));
    QVERIFY(TextFits(dialog->StopButton(), "Stop", 4));
    QCOMPARE(watcher.boxes.size(), 0);

    QTest::mouseClick(dialog->StopButton(), Qt::LeftButton);
    QTRY_COMPARE(watcher.boxes.size(), 1);
    QVERIFY2(watcher.boxes[0].text.startsWith("Dump Stopped: " + TheLongRun().dumpFile +
                                              " is partial\n"),
             qPrintable(watcher.boxes[0].text));
    QVERIFY(watcher.boxes[0].text.endsWith("\n0 lines matched the filter"));
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Information);
    QVERIFY(ReadTextFile(TheLongRun().dumpFile).endsWith("\nDump Stopped\n"));
    QVERIFY(!dialog->Running());
    QCOMPARE(EnabledStates(*dialog), before);
    QVERIFY(!dialog->StopButton()->isVisible());
    QVERIFY(!dialog->FileProgressLine()->isVisible());
    // No second message comes (a time: no event tells it).
    QTest::qWait(200);
    QCOMPARE(watcher.boxes.size(), 1);
  }

  void closingDuringRunAsks_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("stop");
    QTest::newRow("Escape, go on") << "escape" << false;
    QTest::newRow("Escape, stop") << "escape" << true;
    QTest::newRow("close box, stop") << "close box" << true;
    QTest::newRow("Cancel, go on") << "cancel" << false;
    QTest::newRow("Cancel, stop") << "cancel" << true;
    QTest::newRow("main window, go on") << "main window" << false;
    QTest::newRow("main window, stop") << "main window" << true;
    QTest::newRow("Quit, stop") << "quit" << true;
  }
  void closingDuringRunAsks() {
    QFETCH(QString, how);
    QFETCH(bool, stop);
    QVERIFY(!TheLongRun().firstFile.isEmpty());
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    TextDump& dialog = frame->TextDumpDialog();
    dialog.Values() = LongRunValues();
    dialog.OnInitDialog();
    dialog.show();
    Edit(dialog, kIdArgValue0)->setText("typed");
    ModalWatcher watcher;
    watcher.questionAnswer = stop ? QMessageBox::Yes : QMessageBox::No;
    ExecuteLongRun(dialog);
    QVERIFY(dialog.Running());
    if (how == "escape") {
      QTest::keyClick(&dialog, Qt::Key_Escape);
    } else if (how == "close box") {
      dialog.close();
    } else if (how == "cancel") {
      QTest::mouseClick(Button(dialog, kIdAccept), Qt::LeftButton);
    } else if (how == "main window") {
      frame->close();
    } else {
      frame->QuitAction()->trigger();
    }
    QCOMPARE(watcher.Texts(), QStringList{"A dump is running.\nStop it and close?"});
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Question);
    if (!stop) {
      QVERIFY(dialog.Running());
      QVERIFY(dialog.isVisible());
      QVERIFY(frame->isVisible());
      QTest::mouseClick(dialog.StopButton(), Qt::LeftButton);
      QTRY_VERIFY(!dialog.Running());
      return;
    }
    QVERIFY(!dialog.Running());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(frame->isVisible(), how != "main window" && how != "quit");
    QVERIFY(ReadTextFile(TheLongRun().dumpFile).endsWith("\nDump Stopped\n"));
    // The user is told by the status bar; no message box stands in the way of the close.
    QVERIFY(frame->MessagePane()->text().startsWith("Dump Stopped: " + TheLongRun().dumpFile +
                                                    " is partial; "));
    // None comes later either (a time: no event tells it).
    QTest::qWait(100);
    QCOMPARE(watcher.boxes.size(), 1);
    // "Cancel" goes on to its own close, which stores the fields.
    if (how == "cancel") QCOMPARE(dialog.result(), int(QDialog::Accepted));
    if (how == "escape" || how == "close box") QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  void statusBarKeepsTheLastRun() {
    QTemporaryDir dir;
    WriteCapture(dir.filePath("cap1430.FdcCapt"));
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    TextDump& dialog = frame->TextDumpDialog();
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("cap1430.FdcCapt"));
    values.OptionFile = "";
    values.AutoEdit = true;
    values.EditorPath = S(WriteFakeEditor(dir));
    dialog.Values() = values;
    dialog.OnInitDialog();
    dialog.show();
    ModalWatcher watcher;
    QTest::mouseClick(Button(dialog, kIdExecute), Qt::LeftButton);
    // The editor shows the dump and no message comes: the status bar tells what happened.
    const QString created = dir.filePath("cap1430_.txt") +
                            " Created; 2 records read, 2 lines written, 0 synchronisation losses";
    QTRY_COMPARE(frame->MessagePane()->text(), created);
    QTRY_VERIFY(QFile::exists(dir.filePath("editor.out")));
    QCOMPARE(watcher.boxes.size(), 0);
    dialog.hide();
    // Closing the dialog leaves the status bar as it is, also a little later.
    QTest::qWait(50);
    QCOMPARE(frame->MessagePane()->text(), created);

    dialog.OnInitDialog();
    dialog.show();
    Edit(dialog, kIdFileName)->setText(dir.filePath("cap1431.FdcCapt"));
    QTest::mouseClick(Button(dialog, kIdExecute), Qt::LeftButton);
    QTRY_COMPARE(watcher.boxes.size(), 1);
    QCOMPARE(frame->MessagePane()->text(),
             "Dump failed: Unable to Open Input File " + dir.filePath("cap1431.FdcCapt"));
  }

  void nothingOnTheStandardOutput() {
#if !defined(Q_OS_UNIX)
    QSKIP("the standard output is caught with POSIX calls");
#endif
    QTemporaryDir dir;
    fdc::gen::RunPlan plan;
    plan.base = S(dir.filePath("run"));
    plan.minutes = 3;
    plan.recordsPerMinute = 2000;
    QVERIFY(fdc::gen::GenerateRun(plan).ok());
    TextDumpValues values = ValidValues();
    values.FileName = S(dir.filePath("run1200.FdcCapt"));
    values.OptionFile = "";
    values.AutoEdit = false;
    auto dialog = OpenDialog(values);
    Edit(*dialog, kIdNumMin)->setText("3");
    ModalWatcher watcher;
    QByteArray printed;
    {
      StdoutCapture capture;
      QTest::mouseClick(Button(*dialog, kIdExecute), Qt::LeftButton);
      // No test macro while the output is caught: its report would be caught too.
      (void)QTest::qWaitFor([&] { return !watcher.boxes.isEmpty(); }, 20000);
      printed = capture.Finish();
    }
    QCOMPARE(watcher.boxes.size(), 1);
    QVERIFY2(watcher.boxes[0].text.contains("\n6000 records read"),
             qPrintable(watcher.boxes[0].text));
    QCOMPARE(QString::fromLocal8Bit(printed), QString());
  }

  // --- Settings written as they are stored ---

  void settingsWrittenWhenStored_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("written");
    QTest::newRow("Cancel") << "cancel" << true;
    QTest::newRow("Execute") << "execute" << true;
    QTest::newRow("Edit") << "edit" << true;
    QTest::newRow("check box") << "check box" << true;
    QTest::newRow("number field losing the focus") << "number" << true;
    QTest::newRow("a check that fails still keeps the fields before it") << "failing" << true;
    QTest::newRow("Browse") << "browse" << true;
    QTest::newRow("Escape") << "escape" << false;
  }
  void settingsWrittenWhenStored() {
    QFETCH(QString, how);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString typed = dir.filePath("typed1430.FdcCapt");
    const QString chosen = dir.filePath("chosen1430.FdcCapt");
    WriteTextFile(chosen, "x");
    QVERIFY(App().InitInstance());
    TextDump& dialog = App().MainFrame()->TextDumpDialog();
    dialog.OnInitDialog();
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Edit(dialog, kIdFileName)->setText(typed);
    Edit(dialog, kIdEditorPath)->setText("/nonexistent/editor");
    ModalWatcher watcher;
    watcher.onFileDialog = Choose(chosen);
    if (how == "cancel") {
      QTest::mouseClick(Button(dialog, kIdAccept), Qt::LeftButton);
    } else if (how == "execute") {
      QTest::mouseClick(Button(dialog, kIdExecute), Qt::LeftButton);
      QTRY_COMPARE(watcher.boxes.size(), 1);  // the capture file does not exist
    } else if (how == "edit") {
      QTest::mouseClick(Button(dialog, kIdEditOptionFile), Qt::LeftButton);
    } else if (how == "check box") {
      QTest::mouseClick(AutoEditBox(dialog), Qt::LeftButton);
    } else if (how == "number" || how == "failing") {
      if (how == "failing") Edit(dialog, kIdEndRef)->setText("x");
      Edit(dialog, kIdEndRef)->setFocus();
      QTRY_VERIFY(Edit(dialog, kIdEndRef)->hasFocus());
      QTest::keyClick(Edit(dialog, kIdEndRef), Qt::Key_Tab);
      QTRY_VERIFY(ReadTextFile(fdc::ui::test::SettingsFilePath()).contains("DumpFile"));
    } else if (how == "browse") {
      QTest::mouseClick(Button(dialog, kIdBrowseCaptureFile), Qt::LeftButton);
    } else {
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }
    // On disk now, before any end of the program.
    const QByteArray onDisk = ReadTextFile(fdc::ui::test::SettingsFilePath());
    const QString expected = how == "browse" ? chosen : typed;
    QCOMPARE(onDisk.contains("DumpFile=" + expected.toUtf8()), written);
    if (how == "check box") QVERIFY(onDisk.contains("AutoEdit=0"));
  }

  // --- The main window's rectangle ---

  void storedRectangleFittedOntoScreen_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("larger than the screen") << "larger";
    QTest::newRow("partly off the screen") << "partly off";
  }
  void storedRectangleFittedOntoScreen() {
    QFETCH(QString, where);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect stored;
    QRect expected;
    if (where == "larger") {
      stored = screen.adjusted(-50, -40, 500, 400);
      expected = screen;
    } else {
      stored = QRect(screen.right() - 200, screen.bottom() - 100, 400, 300);
      expected = QRect(screen.right() + 1 - 400, screen.bottom() + 1 - 300, 400, 300);
    }
    StoreSettings([&](QSettings& s) {
      s.setValue("WinMinX", stored.left());
      s.setValue("WinMinY", stored.top());
      s.setValue("WinMaxX", stored.right() + 1);
      s.setValue("WinMaxY", stored.bottom() + 1);
    });
    QVERIFY(App().InitInstance());
    CMainFrame* frame = App().MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_COMPARE(frame->frameGeometry(), expected);
  }
};

namespace {

// Pictures of the main window and the dialog for the documentation.
int MakeScreenshots(const QString& folder) {
  QDir().mkpath(folder);
  const QString samples = QString::fromLocal8Bit(qgetenv("FDC_SOURCE_DIR")) + "/samples";
  AppSettings settings = DefaultAppSettings(S(samples));
  settings.DumpFile = "/home/user/fdc/Line11430.FdcCapt";
  settings.OptFile = S(samples + "/SlowReply.opt");
  settings.AutoEdit = 1;
  settings.WinMinX = 40;
  settings.WinMinY = 30;
  settings.WinMaxX = 1240;
  settings.WinMaxY = 810;
  settings.Window.TableOptFile = S(samples + "/ORV_PB_All.opt");
  CMainFrame frame(settings);
  if (!frame.Create()) return 1;
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return 1;
  // The bundled run in the table, at its damaged stretch: faulty telegrams and a lost sync.
  fdc::ui::RunView* run = frame.RunArea();
  if (!frame.OpenCaptureFile(samples + "/Line11159.FdcCapt", 3)) return 1;
  if (!QTest::qWaitFor([&] { return !run->Session().Indexing(); }, 20000)) return 1;
  run->Filters()->OptionFileEdit()->setText("/home/user/fdc/ORV_PB_All.opt");
  run->GoToRecord(2790);
  run->GoToFault(true);
  // The health view beside the table shows its findings.
  fdc::ui::HealthView* health = frame.HealthArea();
  if (!fdc::ui::test::WaitUntilLaidOut(
          [health] { return !health->Computing() && health->Figures() != nullptr; }, 20000)) {
    return 1;
  }
  bool ok = frame.grab().save(folder + "/main_window.png");

  // From a finding to its records: a slave's outage filters the table to its unanswered
  // requests, F8 steps to the third, and the finding is expanded into its first records.
  QTemporaryDir faultDir;
  const std::string faultRun =
      fdc::ui::test::WriteFaultRun(faultDir.path(), "outage@14,late@25,corrupt@15", 2);
  if (faultRun.empty() || !frame.OpenCaptureFile(QString::fromStdString(faultRun), 2)) return 1;
  const auto settled = [&] {
    return !run->Session().Indexing() && !run->Session().Filtering() && !health->Computing() &&
           health->Figures() != nullptr;
  };
  if (!fdc::ui::test::WaitUntilLaidOut(settled, 20000)) return 1;
  QTreeWidget* findings = health->FindingsList();
  QTreeWidgetItem* outage = findings->topLevelItem(0);
  emit findings->itemClicked(outage, 0);
  outage->setExpanded(true);
  if (!fdc::ui::test::WaitUntilLaidOut(
          [&] {
            return settled() && outage->childCount() > 0 &&
                   outage->child(0)->text(0).startsWith("Record ");
          },
          20000)) {
    return 1;
  }
  run->NextFaultAction()->trigger();
  run->NextFaultAction()->trigger();
  const QSize mainSize = frame.size();
  frame.resize(1500, 900);
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  run->Splitter()->setSizes({860, 640});
  run->BottomSplitter()->setSizes({700, 0});
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  ok = frame.grab().save(folder + "/finding_records.png") && ok;
  frame.resize(mainSize);

  // The record details of a Slave_Diag reply with a channel error, in the golden DP run.
  const QString dpRun = QString::fromLocal8Bit(qgetenv("FDC_SOURCE_DIR")) +
                        "/tests/golden/runs/dp/Cell0900.FdcCapt";
  if (!frame.OpenCaptureFile(dpRun, 1)) return 1;
  if (!fdc::ui::test::WaitUntilLaidOut(
          [&] {
            return !run->Session().Indexing() && !health->Computing() &&
                   health->Figures() != nullptr;
          },
          20000)) {
    return 1;
  }
  run->Filters()->OptionFileEdit()->setText("/home/user/fdc/ORV_PB_All.opt");
  run->GoToRecord(504);
  QTreeWidget* tree = frame.DetailsArea()->Tree();
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* section = tree->topLevelItem(i);
    section->setExpanded(!section->text(0).startsWith("Capture"));
    if (!section->text(0).startsWith("DP:")) continue;
    for (int j = 0; j < section->childCount(); ++j) {
      QTreeWidgetItem* item = section->child(j);
      if (!item->text(0).startsWith("blocks")) continue;
      item->setExpanded(true);
      item->child(0)->setExpanded(true);
      tree->setCurrentItem(item->child(0));
    }
  }
  run->BottomSplitter()->setSizes({260, 460});
  frame.resize(1560, 900);
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  run->Splitter()->setSizes({1000, 560});
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  ok = frame.grab().save(folder + "/record_details.png") && ok;

  TextDump& dialog = frame.TextDumpDialog();
  dialog.OnInitDialog();
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
  // The panel is read from the shipped file; the picture shows the folder a user would have.
  Edit(dialog, kIdOptionFile)->setText("/home/user/fdc/SlowReply.opt");
  Edit(dialog, kIdFileName)->deselect();
  Edit(dialog, kIdArgValue0)->setText("-1");
  Edit(dialog, kIdArgValue1)->setText("500");
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  ok = dialog.grab().save(folder + "/text_dump_dialog.png") && ok;
  dialog.hide();

  // A dump under way: the open file, the whole run, Stop. The run is the long one, under the
  // name of the pictures' capture files.
  QTemporaryDir runDir;
  const QString first = fdc::ui::test::WriteLongRun(runDir.path(), QStringLiteral("Line1"));
  if (first.isEmpty()) return 1;
  const QString options = runDir.filePath("SlowReply.opt");
  WriteTextFile(options, ReadTextFile(samples + "/SlowReply.opt"));
  dialog.Values().FileName = S(first);
  dialog.Values().OptionFile = S(options);
  dialog.OnInitDialog();
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
  Edit(dialog, kIdArgValue0)->setText("-1");
  Edit(dialog, kIdArgValue1)->setText("500");
  ModalWatcher watcher;
  ExecuteLongRun(dialog);
  const QRegularExpression laterFile(QStringLiteral("^File ([3-9]|\\d\\d+) of"));
  if (!QTest::qWaitFor(
          [&] { return laterFile.match(dialog.FileProgressLine()->text()).hasMatch(); }, 10000)) {
    return 1;
  }
  Edit(dialog, kIdFileName)->setText("/home/user/fdc/Line11200.FdcCapt");
  Edit(dialog, kIdOptionFile)->setText("/home/user/fdc/SlowReply.opt");
  ok = dialog.grab().save(folder + "/text_dump_running.png") && ok;
  dialog.OnStop();
  ok = QTest::qWaitFor([&] { return !dialog.Running() && !watcher.boxes.isEmpty(); }, 10000) && ok;
  dialog.hide();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  fdc::ui::test::WidgetTestArguments a = fdc::ui::test::PrepareWidgetTest(argc, argv);
  CTeloFdcCaptAnlzApp app(a.count, a.args.data());
  app.setQuitOnLastWindowClosed(false);
  // The platform's own file dialogs cannot be answered by the tests' watcher.
  UseQtFileDialogs(true);
  if (!a.screenshotFolder.isEmpty()) return MakeScreenshots(a.screenshotFolder);
  UiWidgetTest test;
  return QTest::qExec(&test, a.count, a.args.data());
}

#include "ui_widget_test.moc"
