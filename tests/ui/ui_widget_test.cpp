// The desktop application's widgets, driven as a user drives them: start-up and settings, the main
// window, the text dump dialog's checks, keys and commands, Execute on a real capture run, the
// editor start, the file dialogs and the description panel. Message boxes and file dialogs are
// answered by a watcher armed before the action that opens them.
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
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

#include "tests/ui/ui_test_support.h"
#include "tools/capture_writer.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/telo_fdc_capt_anlz_app.h"
#include "ui/text_dump.h"

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
// with OK; a file dialog goes to `onFileDialog` (cancelled when there is none); any other modal
// dialog goes to `onOtherDialog`.
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
  QList<QStringList> fileDialogFilters;
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
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      if (ok != nullptr) {
        ok->click();
      } else {
        box->reject();
      }
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      fileDialogFilters.append(files->nameFilters());
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
  name->setText(path);
  static_cast<QDialog*>(dialog)->accept();
}

// A watcher's file dialog answer: choose `path` and confirm.
std::function<void(QFileDialog*)> Choose(const QString& path) {
  return [path](QFileDialog* dialog) { TypeAndConfirm(dialog, path); };
}

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
    QTRY_COMPARE(frame->frameGeometry(), QRect(20, 20, 460, 430));
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
                                "WinMaxX=480\n"
                                "WinMaxY=450\n"
                                "WinMinX=20\n"
                                "WinMinY=20\n"));
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
                 "," + StoredText("WinMaxY"),
             QStringLiteral("100,80,600,480"));
    QVERIFY(App().InitInstance());
    QVERIFY(QTest::qWaitForWindowExposed(App().MainFrame()));
    QVERIFY(!App().MainFrame()->isMaximized());
    QTRY_COMPARE(App().MainFrame()->frameGeometry(), QRect(100, 80, 500, 400));
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
    QCOMPARE(menus, (QStringList{"&Analyze: &Text Dump", "&Help: &About TeloFdcCaptAnlz..."}));
    auto* toolbar = frame->findChild<QToolBar*>();
    QVERIFY(toolbar != nullptr);
    QCOMPARE(toolbar->actions().size(), 1);
    QCOMPARE(toolbar->iconSize(), QSize(32, 32));
    QAction* dump = toolbar->actions().front();
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
      if (widget->focusPolicy() & Qt::TabFocus) order << widget->objectName();
      widget = widget->nextInFocusChain();
    } while (widget != first);
    QCOMPARE(order.join(' '), QStringLiteral("1024 1027 1025 1028 1026 1034 1035 1036 1037 1038 "
                                             "1039 1040 1041 1029 1030 3 1"));
  }

  void dialogTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("capture Browse") << 1027 << "Browse";
    QTest::newRow("option Browse") << 1028 << "Browse";
    QTest::newRow("Edit") << 1026 << "Edit";
    QTest::newRow("editor Browse") << 1030 << "Browse";
    QTest::newRow("Execute") << 3 << "Execute";
    QTest::newRow("accept button") << 1 << "Cancel";
    QTest::newRow("check box") << 1041 << "Auto Exec Editor";
    QTest::newRow("editor label") << 1042 << "Editor Path";
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
    for (QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
      labels << label->text();
    }
    QCOMPARE(labels, (QStringList{"FileName", "OptionFile", "StartRef", "EndRef", "NumMin",
                                  "Editor Path"}));
  }

  void dialogNothingClipped() {
    auto dialog = OpenDialog(ValidValues());
    QStyle* style = dialog->style();
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QString name = child->objectName();
      if (auto* label = qobject_cast<QLabel*>(child)) {
        QVERIFY2(TextFits(label, label->text(), 0), qPrintable(label->text()));
        QVERIFY2(label->fontMetrics().height() <= label->height(), qPrintable(label->text()));
      } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
        const int box = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                        style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check);
        QVERIFY(TextFits(check, check->text(), box));
      } else if (auto* button = qobject_cast<QPushButton*>(child)) {
        const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        QVERIFY2(TextFits(button, button->text(), frame), qPrintable(name));
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
    QTest::qWait(30);
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
    QTest::newRow("created") << "cap1430.FdcCapt"
                             << "cap1430.FdcCapt"
                             << "0"
                             << "<dir>/cap1430_tiny.txt Created" << info << "End of Capture Data";
    QTest::newRow("upper-case extension")
        << "cap1430.FDCCAPT"
        << "cap1430.FDCCAPT"
        << "0"
        << "<dir>/cap1430_tiny.txt Created" << info << "End of Capture Data";
    QTest::newRow("hour 99") << "cap9959.FdcCapt"
                             << "cap9959.FdcCapt"
                             << "0"
                             << "<dir>/cap9959_tiny.txt Created" << info << "End of Capture Data";
    QTest::newRow("EndRef 1 ends early")
        << "cap1430.FdcCapt"
        << "cap1430.FdcCapt"
        << "1"
        << "<dir>/cap1430_tiny.txt Created" << info << "Last Reference Reached";
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
    QCOMPARE(watcher.Texts(), QStringList{QString(message).replace("<dir>", dir.path())});
    QCOMPARE(int(watcher.boxes[0].icon), icon);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("TeloFdcCaptAnlz"));
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->ProgressLine()->isVisible());
    const QString dumpPath = dir.filePath(fileName.left(7) + "_tiny.txt");
    if (!dumpEnd.isEmpty()) {
      QVERIFY(ReadTextFile(dumpPath).trimmed().endsWith(dumpEnd.toUtf8()));
      QVERIFY(dialog->ProgressLine()->format().startsWith(fileName.left(7)));
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
    QCOMPARE(watcher.Texts(), QStringList{dir.filePath("cap1430_.txt") + " Created\n" + line});
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
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("chosen");  // a name in the folder
    QTest::newRow("capture file") << 1027 << 1024 << "FDC Capture File (*.FdcCapt)"
                                  << "new1430.FdcCapt";
    QTest::newRow("capture file, default extension")
        << 1027 << 1024 << "FDC Capture File (*.FdcCapt)"
        << "new1430";
    QTest::newRow("option file") << 1028 << 1025 << "Capture Option File (*.opt)"
                                 << "new.opt";
    QTest::newRow("editor") << 1030 << 1029 << "Editor Program (*)"
                            << "myeditor";
  }
  void browse() {
    QFETCH(int, buttonId);
    QFETCH(int, fieldId);
    QFETCH(QString, filter);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
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
    QCOMPARE(watcher.fileDialogFilters, QList<QStringList>{QStringList{filter}});
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

  void panelFollowsBrowseNotTyping() {
    QTemporaryDir dir;
    WriteTextFile(dir.filePath("a.opt"), "Descrip=first\n");
    WriteTextFile(dir.filePath("b.opt"), "Descrip=second\nArgName1=Gap\n");
    TextDumpValues values = ValidValues();
    values.OptionFile = S(dir.filePath("a.opt"));
    auto dialog = OpenDialog(values);
    QCOMPARE(Edit(*dialog, kIdDescription)->text(), QStringLiteral("first"));
    Edit(*dialog, kIdOptionFile)->setText(dir.filePath("b.opt"));
    QVERIFY(dialog->UpdateData(true));
    QCOMPARE(Edit(*dialog, kIdDescription)->text(), QStringLiteral("first"));
    Edit(*dialog, kIdOptionFile)->setText(dir.filePath("a.opt"));
    ModalWatcher watcher;
    watcher.onFileDialog = Choose(dir.filePath("b.opt"));
    QTest::mouseClick(Button(*dialog, kIdBrowseOptionFile), Qt::LeftButton);
    QCOMPARE(Edit(*dialog, kIdDescription)->text(), QStringLiteral("second"));
    QVERIFY(dialog->Control(kIdArgValue1)->isEnabled());
    QVERIFY(!dialog->Control(kIdArgValue0)->isEnabled());
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
  CMainFrame frame(settings);
  if (!frame.Create()) return 1;
  frame.show();
  if (!QTest::qWaitForWindowExposed(&frame)) return 1;
  QTest::qWait(100);
  bool ok = frame.grab().save(folder + "/main_window.png");

  TextDump& dialog = frame.TextDumpDialog();
  dialog.OnInitDialog();
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
  // The panel is read from the shipped file; the picture shows the folder a user would have.
  Edit(dialog, kIdOptionFile)->setText("/home/user/fdc/SlowReply.opt");
  Edit(dialog, kIdFileName)->deselect();
  Edit(dialog, kIdArgValue0)->setText("-1");
  Edit(dialog, kIdArgValue1)->setText("500");
  QTest::qWait(100);
  ok = dialog.grab().save(folder + "/text_dump_dialog.png") && ok;
  dialog.hide();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  // Test-only: "--screenshot DIR" writes the documentation's pictures instead of testing.
  QString screenshotFolder;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (QByteArray(argv[i]) == "--screenshot" && i + 1 < argc) {
      screenshotFolder = QString::fromLocal8Bit(argv[++i]);
      continue;
    }
    args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  bool platformGiven = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
  for (int i = 1; i < count; ++i)
    platformGiven = platformGiven || QByteArray(args[i]) == "-platform";
  if (!platformGiven) qputenv("QT_QPA_PLATFORM", "offscreen");
  CTeloFdcCaptAnlzApp app(count, args.data());
  app.setQuitOnLastWindowClosed(false);
  if (!screenshotFolder.isEmpty()) return MakeScreenshots(screenshotFolder);
  UiWidgetTest test;
  return QTest::qExec(&test, count, args.data());
}

#include "ui_widget_test.moc"
