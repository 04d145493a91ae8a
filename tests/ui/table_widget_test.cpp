// The main window's record table on a display (offscreen, and on a real X server): opening a run
// of many files with the offer of minutes, a damaged run with its event rows, F8 and Ctrl+G, a
// drop, the command line, Open Recent across a restart, the quick filter on a station, an error
// in the equation, Stop during a filter while the window keeps answering, the text search, the
// exports, and the room beside the table.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QTextBlock>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <set>

#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tools/faults.h"
#include "tools/run_generator.h"
#include "ui/common/platform.h"
#include "ui/details/details_pane.h"
#include "ui/details/hex_dump.h"
#include "ui/dump_dialog/text_dump.h"
#include "ui/health/health_view.h"
#include "ui/health/live_list.h"
#include "ui/main_frame.h"
#include "ui/run_table/filter_bar.h"
#include "ui/run_table/open_run_dialog.h"
#include "ui/run_table/record_table_model.h"
#include "ui/run_table/row_texts.h"
#include "ui/run_table/run_files.h"
#include "ui/run_table/run_view.h"
#include "ui/telo_fdc_capt_anlz_app.h"

using namespace fdc::ui;

namespace {

CTeloFdcCaptAnlzApp& App() { return *static_cast<CTeloFdcCaptAnlzApp*>(qApp); }
CMainFrame* Frame() { return App().MainFrame(); }
RunView* View() { return Frame()->RunArea(); }
RunSession& Session() { return View()->Session(); }

std::string S(const QString& text) { return text.toStdString(); }

constexpr int kIndexTimeoutMs = 30000;

// A generated run; the path of its first minute file.
QString Generate(const QTemporaryDir& dir, unsigned minutes, std::uint64_t recordsPerMinute,
                 bool damaged = false, const QString& name = QStringLiteral("Line1")) {
  fdc::gen::RunPlan plan;
  plan.base = S(dir.filePath(name));
  plan.startHour = 23;
  plan.startMinute = 55;
  plan.minutes = minutes;
  plan.recordsPerMinute = recordsPerMinute;
  if (damaged) {
    plan.damage = {{fdc::gen::DamageKind::kGarbage, 0},
                   {fdc::gen::DamageKind::kSync, 1},
                   {fdc::gen::DamageKind::kMalformed, 1}};
  }
  const fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(plan);
  if (!outcome.ok()) return QString();
  return QString::fromStdString(outcome.summary.paths.front());
}

// Answers the modal windows that open while it lives: message boxes are recorded and closed,
// file dialogs and other dialogs go to their handlers (or are cancelled).
class ModalWatcher : public QObject {
 public:
  ModalWatcher() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalWatcher::Poll);
    timer_.start();
  }
  QStringList boxes;
  std::function<void(QFileDialog*)> onFileDialog;
  std::function<void(QDialog*)> onOtherDialog;

 private:
  // The answers run after the poll, so that a window they open is polled for in turn.
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property("fdcAnswered").toBool()) return;
    modal->setProperty("fdcAnswered", true);
    QTimer::singleShot(0, modal, [this, modal] { Answer(modal); });
  }
  void Answer(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes << box->text();
      box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click()
                                              : box->reject();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      onFileDialog ? onFileDialog(files) : files->reject();
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      onOtherDialog ? onOtherDialog(dialog) : dialog->reject();
    }
  }
  QTimer timer_;
};

// The offer of minutes, answered with `minutes`; the offer's text goes to `found`.
std::function<void(QDialog*)> KeepMinutes(int minutes, QString* found = nullptr) {
  return [minutes, found](QDialog* dialog) {
    auto* offer = qobject_cast<RunMinutesDialog*>(dialog);
    if (offer == nullptr) return dialog->reject();
    if (found != nullptr) *found = offer->FoundLabel()->text();
    offer->MinutesField()->setValue(minutes);
    offer->accept();
  };
}

bool WaitForIndex() {
  return QTest::qWaitFor([] { return Session().HasRun() && !Session().Indexing(); },
                         kIndexTimeoutMs);
}

bool WaitForFilter() {
  return QTest::qWaitFor([] { return !Session().Filtering(); }, kIndexTimeoutMs);
}

QString Cell(int row, int column) { return View()->Model()->index(row, column).data().toString(); }

RowClass ClassOf(int row) {
  return static_cast<RowClass>(
      View()->Model()->index(row, 0).data(RecordTableModel::kRowClassRole).toInt());
}

int CurrentRow() { return View()->Table()->currentIndex().row(); }

// The process's resident memory in kB, as /proc/self/status says (0 where there is none).
qint64 ResidentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLongLong();
  }
  return 0;
}

// A copy of the golden DP run in `dir`, opened, indexed and with its health figures.
bool OpenGoldenDpRun(const QTemporaryDir& dir) {
  const QString first = dir.filePath(QStringLiteral("Cell0900.FdcCapt"));
  return QFile::copy(qEnvironmentVariable("FDC_SOURCE_DIR") +
                         QStringLiteral("/tests/golden/runs/dp/Cell0900.FdcCapt"),
                     first) &&
         Frame()->OpenCaptureFile(first, 1) && WaitForIndex() &&
         QTest::qWaitFor([] { return Frame()->HealthArea()->Figures() != nullptr; },
                         kIndexTimeoutMs);
}

QString StoredText(const QString& name) {
  QSettings store;
  return store.value("Settings/" + name).toString();
}

// The figures of a long run, printed: memory from an idle window, and the times to the first
// rows, the complete index with the health figures, the last record and a filter pass.
void MeasureRun(const QString& first, unsigned minutes) {
  View()->CloseRun();
  const qint64 idle = ResidentKb();
  QElapsedTimer clock;
  clock.start();
  if (!Frame()->OpenCaptureFile(first, minutes)) return;
  (void)QTest::qWaitFor([] { return View()->Model()->rowCount() > 0; }, kIndexTimeoutMs);
  const qint64 firstRows = clock.elapsed();
  (void)WaitForIndex();
  const qint64 indexed = clock.elapsed();
  HealthView& health = *Frame()->HealthArea();
  (void)QTest::qWaitFor([&] { return health.Figures() != nullptr && !health.Computing(); },
                        20 * kIndexTimeoutMs);
  const qint64 computed = clock.elapsed();
  const qint64 kb = ResidentKb();
  clock.restart();
  QTest::keyClick(View()->Table(), Qt::Key_End, Qt::ControlModifier);
  const qint64 last = clock.elapsed();
  clock.restart();
  View()->Filters()->FaultsCheck()->setChecked(true);
  (void)QTest::qWaitFor([] { return !Session().Filtering(); }, 20 * kIndexTimeoutMs);
  const qint64 filtered = clock.elapsed();
  View()->Filters()->FaultsCheck()->setChecked(false);
  qInfo("%llu records: VmRSS %lld kB idle, %lld kB indexed with its health (%.1f bytes a "
        "record); first rows %lld ms, index %lld ms, health %lld ms, last record %lld ms, "
        "faults-only pass %lld ms",
        static_cast<unsigned long long>(Session().Index()->Records()), idle, kb,
        static_cast<double>(kb - idle) * 1024.0 /
            static_cast<double>(std::max<std::uint64_t>(Session().Index()->Records(), 1)),
        firstRows, indexed, computed, last, filtered);
}

}  // namespace

class TableWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QSettings store;
    store.clear();
    store.sync();
    QVERIFY(App().InitInstance());
    QVERIFY(QTest::qWaitForWindowExposed(Frame()));
    // The window's shortcuts act in the active window.
    Frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Frame()));
  }

  void cleanup() { App().ExitInstance(); }

  void emptyWindowSaysHowToOpen() {
    QVERIFY(!Session().HasRun());
    QVERIFY(View()->OpenButton()->isVisible());
    QVERIFY(!View()->NextFaultAction()->isEnabled());
    QVERIFY(!View()->ExportTextAction()->isEnabled());
    QCOMPARE(Frame()->OpenAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QVERIFY(!Frame()->RecentMenu()->isEnabled());
    // Beside the table stands the health view, and there is room for more.
    QCOMPARE(View()->Splitter()->count(), 2);
    QCOMPARE(View()->Splitter()->widget(1), Frame()->HealthArea());
    View()->AddSidePanel(new QLabel(QStringLiteral("beside")));
    QCOMPARE(View()->Splitter()->count(), 3);
  }

  void openOffersTheMinutesFound() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 12, 500);
    QVERIFY(!first.isEmpty());
    ModalWatcher watcher;
    QString found;
    watcher.onFileDialog = [&](QFileDialog* files) {
      // Typed into the name field, as a user does.
      auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name != nullptr);
      name->setText(first);
      static_cast<QDialog*>(files)->accept();
    };
    watcher.onOtherDialog = KeepMinutes(12, &found);
    QTest::keyClick(Frame(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(WaitForIndex());
    QCOMPARE(found, QStringLiteral("12 consecutive minute files were found,\nfrom "
                                   "Line12355.FdcCapt to Line10006.FdcCapt."));
    QCOMPARE(Session().Run()->Run.count, 12u);
    QCOMPARE(View()->Model()->rowCount(), 12 * 500);
    QCOMPARE(Frame()->windowTitle(),
             QStringLiteral("TeloFdcCaptAnlz - Line12355.FdcCapt (12 minutes)"));
    QVERIFY(Frame()->MessagePane()->text().endsWith(QStringLiteral(": 6000 records")));
    QVERIFY(View()->Table()->isVisible());
    QVERIFY(watcher.boxes.isEmpty());

    // The user may shorten the run.
    watcher.onOtherDialog = KeepMinutes(4);
    QVERIFY(Frame()->OpenCaptureFile(first));
    QVERIFY(WaitForIndex());
    QCOMPARE(Session().Run()->Run.count, 4u);
    QCOMPARE(View()->Model()->rowCount(), 4 * 500);
    // Cancelling the offer keeps the run that is open.
    watcher.onOtherDialog = [](QDialog* dialog) { dialog->reject(); };
    QVERIFY(!Frame()->OpenCaptureFile(first));
    QCOMPARE(Session().Run()->Run.count, 4u);
    // One entry for the file, with the last length.
    QCOMPARE(Frame()->RecentMenu()->actions().size(), 1);
    QCOMPARE(Frame()->RecentMenu()->actions().front()->text(),
             QStringLiteral("&1 Line12355.FdcCapt (4 minutes)"));
  }

  void aDamagedRunShowsItsEventsAndFaults() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 3, 3000, true);
    QVERIFY(Frame()->OpenCaptureFile(first, 3));
    QVERIFY(WaitForIndex());
    const int rows = View()->Model()->rowCount();
    QVERIFY(rows > 9000);  // the records and a row for each lost synchronisation
    int events = 0;
    for (int r = 0; r < rows; ++r) {
      if (ClassOf(r) != RowClass::kEvent) continue;
      ++events;
      QCOMPARE(Cell(r, kColKind), QStringLiteral("Sync lost"));
      QVERIFY(Cell(r, kColData).startsWith(QStringLiteral("**** Synchronization Lost **** ")));
      QVERIFY(Cell(r, kColRef).isEmpty());
    }
    QVERIFY(events >= 1);

    // F8 and Shift+F8 step through the faulty rows.
    View()->Table()->setFocus();
    QTest::keyClick(Frame(), Qt::Key_F8);
    const int firstFault = CurrentRow();
    QVERIFY(firstFault >= 0);
    QCOMPARE(ClassOf(firstFault), RowClass::kFaulty);
    for (int r = 0; r < firstFault; ++r) QVERIFY(ClassOf(r) != RowClass::kFaulty);
    QTest::keyClick(Frame(), Qt::Key_F8);
    const int secondFault = CurrentRow();
    QVERIFY(secondFault > firstFault);
    QCOMPARE(ClassOf(secondFault), RowClass::kFaulty);
    QTest::keyClick(Frame(), Qt::Key_F8, Qt::ShiftModifier);
    QCOMPARE(CurrentRow(), firstFault);
    QVERIFY(!View()->GoToFault(false) || CurrentRow() < firstFault);

    // Ctrl+G asks for a reference number.
    ModalWatcher watcher;
    watcher.onOtherDialog = [](QDialog* dialog) {
      auto* edit = dialog->findChild<QLineEdit*>();
      if (edit != nullptr) edit->setText(QStringLiteral("4321"));
      dialog->accept();
    };
    QTest::keyClick(Frame(), Qt::Key_G, Qt::ControlModifier);
    QTRY_COMPARE(Cell(CurrentRow(), kColRef), QStringLiteral("4321"));
    QVERIFY(!View()->GoToRecord(99999));
  }

  void openRefusals() {
    ModalWatcher watcher;
    QVERIFY(!Frame()->OpenCaptureFile(QStringLiteral("/nonexistent/A1200.FdcCapt")));
    QVERIFY(!Frame()->OpenCaptureFile(QStringLiteral("/tmp/notacapture.txt")));
    QCOMPARE(watcher.boxes.size(), 2);
    QCOMPARE(watcher.boxes[0],
             QStringLiteral("Unable to Open Input File /nonexistent/A1200.FdcCapt"));
    QVERIFY(watcher.boxes[1].startsWith(QStringLiteral("Invalid Capture File Name\n")));
    QVERIFY(!Session().HasRun());
  }

  void aDropOpensTheRun() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 1, 200);
    const QString other = dir.filePath(QStringLiteral("notes.txt"));
    fdc::ui::test::WriteTextFile(other, "x");
    auto drag = [](const QString& path, bool drop) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(path)});
      const QPointF at(Frame()->width() / 2.0, Frame()->height() / 2.0);
      if (!drop) {
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(Frame(), &enter);
        return enter.isAccepted();
      }
      QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      event.ignore();
      QCoreApplication::sendEvent(Frame(), &event);
      return event.isAccepted();
    };
    QVERIFY(Frame()->acceptDrops());
    // Another file is taken, and refused with a word in the status bar.
    QVERIFY(drag(other, false));
    QVERIFY(drag(other, true));
    QCOMPARE(Frame()->MessagePane()->text(), QStringLiteral("Not a capture file: notes.txt"));
    QVERIFY(!Session().HasRun());
    QVERIFY(drag(first, false));
    QVERIFY(drag(first, true));
    QVERIFY(WaitForIndex());
    QCOMPARE(QString::fromStdString(fdc::ui::RunTitle(*Session().Run())),
             QStringLiteral("Line12355.FdcCapt"));
    QCOMPARE(View()->Model()->rowCount(), 200);
  }

  void theCommandLineNamesARun() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 1, 100);
    Frame()->OpenFromArguments(
        {QStringLiteral("TeloFdcCaptAnlz"), QStringLiteral("-style=fusion"), first});
    QVERIFY(WaitForIndex());
    QCOMPARE(View()->Model()->rowCount(), 100);
    // An argument that is no capture file, or a folder, gets File > Open's message.
    View()->CloseRun();
    const QString folder = dir.filePath(QStringLiteral("Line11200.FdcCapt"));
    QVERIFY(QDir().mkpath(folder));
    const std::pair<QString, QString> refusals[] = {
        {QStringLiteral("notes.txt"),
         QString::fromLatin1(fdc::kInvalidCaptureNameMessage.data(),
                             static_cast<int>(fdc::kInvalidCaptureNameMessage.size()))},
        {folder, QStringLiteral("Unable to Open Input File ") + folder},
    };
    for (const auto& [argument, message] : refusals) {
      ModalWatcher watcher;
      Frame()->OpenFromArguments({QStringLiteral("TeloFdcCaptAnlz"), argument});
      QTRY_COMPARE(watcher.boxes.size(), 1);
      QCOMPARE(watcher.boxes[0], message);
      QVERIFY(!Session().HasRun());
    }
  }

  void openRecentAfterARestart() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 3, 300);
    QVERIFY(Frame()->OpenCaptureFile(first, 2));
    QVERIFY(WaitForIndex());
    // The filter bar's option file is the window's own setting.
    const QString options = dir.filePath(QStringLiteral("Errors.opt"));
    fdc::ui::test::WriteTextFile(options, "Descrip=Errors\nShowOnly\nSTS != STSOK\n#\n");
    QLineEdit* optionEdit = View()->Filters()->OptionFileEdit();
    optionEdit->setText(options);
    emit optionEdit->editingFinished();
    QCOMPARE(View()->Filters()->EquationEdit()->text(), QStringLiteral("STS != STSOK"));
    App().ExitInstance();
    QCOMPARE(StoredText("RecentRun1"), first);
    QCOMPARE(StoredText("RecentMinutes1"), QStringLiteral("2"));
    QCOMPARE(StoredText("TableOptFile"), options);

    QVERIFY(App().InitInstance());
    QCOMPARE(Session().OptionFile(), options);
    const QList<QAction*> recent = Frame()->RecentMenu()->actions();
    QCOMPARE(recent.size(), 1);
    QCOMPARE(recent.front()->text(), QStringLiteral("&1 Line12355.FdcCapt (2 minutes)"));
    // Opened again with the length it had, without the offer.
    ModalWatcher watcher;
    recent.front()->trigger();
    QVERIFY(WaitForIndex());
    QCOMPARE(Session().Run()->Run.count, 2u);
    QVERIFY(WaitForFilter());
    QVERIFY(Session().CurrentFilter() != nullptr && Session().CurrentFilter()->Active());

    // A run that is gone leaves the list.
    View()->CloseRun();
    QVERIFY(QFile::remove(first));
    Frame()->RecentMenu()->actions().front()->trigger();
    QCOMPARE(watcher.boxes.size(), 1);
    QVERIFY(!Frame()->RecentMenu()->isEnabled());
    App().ExitInstance();
    QCOMPARE(StoredText("RecentRun1"), QString());
  }

  void quickFilterOnAStation() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 3, 3000, true);
    QVERIFY(Frame()->OpenCaptureFile(first, 3));
    QVERIFY(WaitForIndex());
    const int all = View()->Model()->rowCount();
    // The stations offered are those of the health figures, with their roles.
    QComboBox* station = View()->Filters()->StationBox();
    QTRY_VERIFY_WITH_TIMEOUT(station->count() > 3, kIndexTimeoutMs);
    const int item = station->findData(2);
    QVERIFY(item > 0);
    QCOMPARE(station->itemText(item), QStringLiteral("2 (master)"));
    QVERIFY(station->toolTip().contains(QStringLiteral("short acknowledgements (SC)")));
    QSignalSpy filtered(View(), &RunView::FilterFinished);
    station->setCurrentIndex(item);
    QTRY_VERIFY_WITH_TIMEOUT(!filtered.isEmpty(), kIndexTimeoutMs);
    const int shown = View()->Model()->rowCount();
    QVERIFY(shown > 0 && shown < all);
    for (int r = 0; r < shown; ++r) {
      QVERIFY(Cell(r, kColDa) == "2" || Cell(r, kColSa) == "2" || ClassOf(r) == RowClass::kFaulty ||
              Cell(r, kColKind) == "SC");
    }
    QCOMPARE(View()->Filters()->CountLabel()->text(),
             QStringLiteral("%1 of %2 records shown").arg(shown).arg(Session().Index()->Records()));

    // The health view's click on station 3, then its damaged frames only.
    View()->ShowStation(3);
    QCOMPARE(station->currentData().toInt(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(filtered.size() == 2, kIndexTimeoutMs);
    const int stationRows = View()->Model()->rowCount();
    View()->Filters()->FaultKindBox()->setCurrentIndex(1);  // no pass: faults only is off
    View()->Filters()->FaultsCheck()->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(filtered.size() == 3, kIndexTimeoutMs);
    const int faults = View()->Model()->rowCount();
    QVERIFY(faults > 0 && faults < stationRows);
    for (int r = 0; r < faults; ++r) QCOMPARE(ClassOf(r), RowClass::kFaulty);
    // Any station: the whole table.
    View()->Filters()->FaultsCheck()->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(filtered.size() == 4, kIndexTimeoutMs);
    station->setCurrentIndex(0);
    QCOMPARE(View()->Model()->rowCount(), all);
  }

  void aDeadSlaveLeadsTheFindingsAndAClickShowsItsTelegrams() {
    // A configured slave that never answers: the window's own health view, beside the table,
    // names it first, marks it in the live list, and a click on the finding filters the table.
    QTemporaryDir dir;
    fdc::gen::RunPlan plan;
    plan.base = S(dir.filePath(QStringLiteral("Dead")));
    plan.startHour = 10;
    plan.minutes = 2;
    plan.recordsPerMinute = 1500;
    fdc::gen::Fault dead;
    QCOMPARE(QString::fromStdString(fdc::gen::ParseFault("missing@110", dead)), QString());
    plan.faults = {dead};
    const fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(plan);
    QVERIFY2(outcome.ok(), outcome.error.c_str());
    HealthView* health = Frame()->HealthArea();
    QVERIFY(health != nullptr);
    QVERIFY(View()->Splitter()->indexOf(health) >= 0);
    QVERIFY(Frame()->OpenCaptureFile(QString::fromStdString(outcome.summary.paths.front()), 2));
    QVERIFY(WaitForIndex());
    QTRY_VERIFY_WITH_TIMEOUT(health->Figures() != nullptr && !health->Computing(), kIndexTimeoutMs);
    QVERIFY(!health->Findings().empty());
    QCOMPARE(health->Findings().front().station, std::optional<std::uint8_t>(110));
    QVERIFY(health->LiveListGrid()->Cell(110).faulty);
    QVERIFY(!health->LiveListGrid()->Cell(1).faulty);
    QTreeWidgetItem* first = health->FindingsList()->topLevelItem(0);
    QVERIFY(first != nullptr);
    health->FindingsList()->itemClicked(first, 0);
    QCOMPARE(View()->Filters()->StationBox()->currentData().toInt(), 110);
    QVERIFY(WaitForFilter());
    QVERIFY(View()->Model()->rowCount() > 0);
    for (int row = 0; row < std::min(View()->Model()->rowCount(), 20); ++row) {
      QCOMPARE(Cell(row, kColDa), QStringLiteral("110"));
    }
  }

  void theHealthViewsSignalsReachTheTable() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 2, 1000);
    // Beside the table, as the window wires it.
    HealthView* health = Frame()->HealthArea();
    QVERIFY(Frame()->OpenCaptureFile(first, 2));
    QVERIFY(WaitForIndex());
    QTRY_VERIFY_WITH_TIMEOUT(!health->Computing(), kIndexTimeoutMs);
    QVERIFY(health->Figures() != nullptr);

    fdc::BusFinding flagged;
    flagged.kind = fdc::FindingKind::kDiagnosisFlagged;
    flagged.station = 2;
    flagged.text = "Station 2 flagged diagnosis";
    emit health->FindingActivated(flagged, {});
    QCOMPARE(View()->Filters()->StationBox()->currentData().toInt(), 2);
    QVERIFY(View()->Filters()->FindingLabel()->text().contains(QStringLiteral("flagged diagnosis")));
    QVERIFY(WaitForFilter());
    fdc::BusFinding corrupt;
    corrupt.kind = fdc::FindingKind::kCorruptFrames;
    corrupt.numbers = {{"fcs_errors", 1}};
    emit health->FindingActivated(corrupt, {});
    QCOMPARE(View()->Filters()->StationBox()->currentData().toInt(), -1);
    QVERIFY(WaitForFilter());
    emit health->StationActivated(2);
    QVERIFY(WaitForFilter());
    const int rows = View()->Model()->rowCount();
    QVERIFY(rows > 10);
    // The time of a shown row moves the table there.
    const QString time = Cell(rows / 2, kColTime);
    View()->MoveToRunRow(0);
    const QStringList parts = time.split(QRegularExpression(QStringLiteral("[:.]")));
    const qint64 ns =
        (((parts[0].toLongLong() * 60 + parts[1].toLongLong()) * 60 + parts[2].toLongLong()) *
             1000 +
         parts[3].toLongLong()) *
            1'000'000 +
        parts[4].toLongLong() * 1000;
    emit health->TimeActivated(ns);
    QCOMPARE(Cell(CurrentRow(), kColTime), time);
  }

  void aFindingLeadsToItsRecordsAndF8WalksThem() {
    // A slave that stops answering, one that answers late and one whose replies are corrupt: a
    // click on each finding shows its records with the first selected, and F8 walks them all.
    QTemporaryDir dir;
    const std::string run =
        fdc::ui::test::WriteFaultRun(dir.path(), "outage@14,late@25,corrupt@15", 2, 10);
    QVERIFY(!run.empty());
    HealthView& health = *Frame()->HealthArea();
    QVERIFY(Frame()->OpenCaptureFile(QString::fromStdString(run), 2));
    QVERIFY(WaitForIndex());
    QTRY_VERIFY_WITH_TIMEOUT(health.Figures() != nullptr && !health.Computing(), kIndexTimeoutMs);
    QSignalSpy status(View(), &RunView::StatusMessage);
    const auto said = [&status] { return status.back().front().toString(); };

    const struct {
      fdc::FindingKind kind;
      std::uint8_t station;
      std::set<RowClass> classes;
    } walks[] = {
        {fdc::FindingKind::kNoResponse, 14,
         {RowClass::kNoReply, RowClass::kLateReply, RowClass::kCorruptReply}},
        {fdc::FindingKind::kLateResponses, 25, {RowClass::kLateReply}},
        {fdc::FindingKind::kIllegalResponses, 15, {RowClass::kFaulty}},
    };
    for (const auto& walk : walks) {
      const QByteArray name(fdc::FindingKindTitle(walk.kind).data());
      const std::vector<fdc::BusFinding>& findings = health.Findings();
      const auto finding =
          std::find_if(findings.begin(), findings.end(), [&walk](const fdc::BusFinding& f) {
            return f.kind == walk.kind && f.station == walk.station;
          });
      QVERIFY2(finding != findings.end(), name);
      const auto count = static_cast<int>(finding->count);
      QTreeWidget& list = *health.FindingsList();
      emit list.itemClicked(list.topLevelItem(static_cast<int>(finding - findings.begin())), 0);
      QVERIFY(WaitForFilter());
      QCOMPARE(View()->Model()->rowCount(), count);
      QCOMPARE(CurrentRow(), 0);
      QCOMPARE(said(), QStringLiteral("finding record 1 of %1").arg(count));
      for (int r = 1; r < count; ++r) {
        View()->NextFaultAction()->trigger();
        QCOMPARE(CurrentRow(), r);
        QVERIFY2(walk.classes.count(ClassOf(r)) == 1, name);
      }
      QCOMPARE(said(), QStringLiteral("finding record %1 of %1").arg(count));
      View()->PreviousFaultAction()->trigger();
      QCOMPARE(said(), QStringLiteral("finding record %1 of %2").arg(count - 1).arg(count));
    }
    // Expanded, the outage lists its first records; a click on one selects it in the table.
    QTreeWidget& list = *health.FindingsList();
    QTreeWidgetItem* outage = list.topLevelItem(0);
    QCOMPARE(health.Findings().front().kind, fdc::FindingKind::kNoResponse);
    const int listed = std::min<int>(10, static_cast<int>(health.Findings().front().count));
    outage->setExpanded(true);
    QTRY_VERIFY_WITH_TIMEOUT(outage->childCount() == listed &&
                                 outage->child(0)->text(0).startsWith(QStringLiteral("Record ")),
                             kIndexTimeoutMs);
    emit list.itemClicked(outage->child(2), 0);
    QVERIFY(WaitForFilter());
    QTRY_COMPARE(CurrentRow(), 2);
    QCOMPARE(said(), QStringLiteral("finding record 3 of %1").arg(View()->Model()->rowCount()));

    // A filter the user changes ends the finding: F8 walks the kinds chosen again.
    View()->Filters()->StationBox()->setCurrentIndex(0);
    QVERIFY(WaitForFilter());
    QVERIFY(View()->Filters()->FindingLabel()->isHidden());
    View()->MoveToRunRow(0);
    View()->NextFaultAction()->trigger();
    QVERIFY(ClassOf(CurrentRow()) != RowClass::kRecord);
  }

  void theRunScrollBarReachesBothEnds() {
    // A run longer than the view's window: the bar beside the table stands for the whole run.
    QTemporaryDir dir;
    QVERIFY(Frame()->OpenCaptureFile(Generate(dir, 2, 3000), 2));
    QVERIFY(WaitForIndex());
    View()->Model()->SetWindowLimit(1000);
    const std::uint64_t total = View()->Model()->TotalRows();
    QVERIFY(total > 3000);
    QScrollBar* bar = View()->RunScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    const auto lastShown = [] {
      QTableView* table = View()->Table();
      return View()->Model()->RunRowOf(table->rowAt(table->viewport()->height() - 1));
    };
    bar->setValue(bar->maximum());
    QCOMPARE(lastShown(), total - 1);
    bar->setValue(0);
    QCOMPARE(View()->Model()->RunRowOf(View()->Table()->rowAt(0)), std::uint64_t{0});
    bar->setValue(bar->maximum() / 2);
    const std::uint64_t top = View()->Model()->RunRowOf(View()->Table()->rowAt(0));
    QVERIFY(top > total / 2 - 100 && top < total / 2 + 100);
    // Ctrl+End and Ctrl+Home go to the run's ends in one step.
    View()->Table()->setFocus();
    QTest::keyClick(View()->Table(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(View()->CurrentRunRow(), total - 1);
    QCOMPARE(bar->value(), bar->maximum());
    QTest::keyClick(View()->Table(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(View()->CurrentRunRow(), std::uint64_t{0});
    QCOMPARE(bar->value(), 0);
  }

  void memoryGrowsWithTheRunsSizeNotItsRecords() {
    // The window keeps its index, the health figures and a window of rows, not a few bytes per
    // record: a saturated 12M run of some million records takes next to nothing more than one of
    // a tenth of them. FDC_MEMORY_RUN (a first file) with FDC_MEMORY_MINUTES measures another
    // run from an idle window and prints the growth.
    HealthView& health = *Frame()->HealthArea();
    const auto measure = [&health](const QString& first, unsigned minutes) {
      View()->CloseRun();
      if (!Frame()->OpenCaptureFile(first, minutes) || !WaitForIndex() ||
          !QTest::qWaitFor([&] { return health.Figures() != nullptr && !health.Computing(); },
                           kIndexTimeoutMs)) {
        return std::pair<qint64, std::uint64_t>{-1, 0};
      }
      return std::pair<qint64, std::uint64_t>{ResidentKb(), Session().Index()->Records()};
    };
    if (const QString other = qEnvironmentVariable("FDC_MEMORY_RUN"); !other.isEmpty()) {
      MeasureRun(other, static_cast<unsigned>(qEnvironmentVariableIntValue("FDC_MEMORY_MINUTES")));
    }
    QTemporaryDir dir;
    const auto saturated = [&dir](const QString& name, unsigned minutes, bool saturate) {
      fdc::gen::RunPlan plan;
      plan.base = S(dir.filePath(name));
      plan.minutes = minutes;
      plan.baudCode = 1;  // 12M
      plan.saturate = saturate;
      plan.recordsPerMinute = 200'000;
      const fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(plan);
      return outcome.ok() ? QString::fromStdString(outcome.summary.paths.front()) : QString();
    };
    const auto [smallKb, smallRecords] = measure(saturated(QStringLiteral("Small"), 1, false), 1);
    const auto [largeKb, largeRecords] = measure(saturated(QStringLiteral("Large"), 2, true), 2);
    QVERIFY(smallKb > 0 && largeKb > 0);
    QVERIFY(largeRecords > 10 * smallRecords);
    const double perRecord = static_cast<double>(largeKb - smallKb) * 1024.0 /
                             static_cast<double>(largeRecords - smallRecords);
    QVERIFY2(perRecord < 3.0, qPrintable(QStringLiteral("%1 bytes a record").arg(perRecord)));
    View()->CloseRun();
  }

  void theTextDumpDialogFollowsTheOpenRun() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 2, 500);
    QVERIFY(Frame()->OpenCaptureFile(first, 2));
    QVERIFY(WaitForIndex());
    const fdc::ui::TextDumpValues held = Frame()->TextDumpDialog().Values();
    QString file;
    QString minutes;
    ModalWatcher watcher;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      auto* dump = qobject_cast<TextDump*>(dialog);
      if (dump != nullptr) {
        file = qobject_cast<QLineEdit*>(dump->Control(fdc::ui::kIdFileName))->text();
        minutes = qobject_cast<QLineEdit*>(dump->Control(fdc::ui::kIdNumMin))->text();
      }
      dialog->reject();
    };
    Frame()->TextDumpAction()->trigger();
    QCOMPARE(file, first);
    QCOMPARE(minutes, QStringLiteral("2"));
    // Cancelled: the dialog holds the file it held.
    QCOMPARE(Frame()->TextDumpDialog().Values().FileName, held.FileName);
  }

  void theEquationFieldSaysWhatItHolds() {
    QTemporaryDir dir;
    QVERIFY(Frame()->OpenCaptureFile(Generate(dir, 1, 300), 1));
    QVERIFY(WaitForIndex());
    FilterBar& bar = *View()->Filters();
    QLineEdit* field = bar.EquationEdit();
    const auto state = [field] {
      return static_cast<EquationState>(field->property("equationState").toInt());
    };
    const QColor neutral = field->palette().color(QPalette::Base);
    field->clear();
    QCOMPARE(state(), EquationState::kEmpty);
    QTest::keyClicks(field, "SA == 1");
    QCOMPARE(state(), EquationState::kValid);
    QVERIFY(field->palette().color(QPalette::Base) != neutral);
    // Typed, not applied: the table still shows what it showed.
    QVERIFY(!bar.NotAppliedLabel()->isHidden());
    QCOMPARE(bar.NotAppliedLabel()->text(),
             QStringLiteral("Not applied — the table still shows: every record"));
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(WaitForFilter());
    QVERIFY(bar.NotAppliedLabel()->isHidden());
    QCOMPARE(bar.RecentMenu()->actions().front()->text(), QStringLiteral("SA == 1"));
    QCOMPARE(StoredText("RecentFilter1"), QStringLiteral("SA == 1"));
    QTest::keyClicks(field, " ==");
    QCOMPARE(state(), EquationState::kInvalid);
    QCOMPARE(bar.NotAppliedLabel()->text(),
             QStringLiteral("Not applied — the table still shows: SA == 1"));
    // A name being typed is completed, the argument's as its CmdArg.
    field->clear();
    QTest::keyClicks(field, "SA == 1 && STSP");
    QVERIFY(bar.NameCompleter()->completionCount() > 0);
    QCOMPARE(bar.NameCompleter()->currentCompletion(), QStringLiteral("STSPAR"));
    emit bar.NameCompleter()->activated(QStringLiteral("STSPAR"));
    QCOMPARE(field->text(), QStringLiteral("SA == 1 && STSPAR"));
    // A recent equation applies again from the drop-down.
    bar.RecentMenu()->actions().front()->trigger();
    QCOMPARE(field->text(), QStringLiteral("SA == 1"));
    QVERIFY(WaitForFilter());
    bar.ClearAndApply();
    QVERIFY(WaitForFilter());
  }

  void aRunThatChangesOnDiskIsNoticed() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 2, 9000);
    // The second minute file comes later, as a module writing the run would add it.
    const QString second = QString(first).replace(QStringLiteral("2355"), QStringLiteral("2356"));
    QVERIFY(QFile::rename(second, second + ".later"));
    QVERIFY(Frame()->OpenCaptureFile(first, 1));
    QVERIFY(WaitForIndex());
    View()->CheckRunFilesNow();
    QVERIFY(View()->ChangeBar()->isHidden());
    const std::uint64_t oneMinute = Session().Index()->Records();

    // Grown: a new minute file; Reload reads on from the index's last entry.
    QVERIFY(QFile::rename(second + ".later", second));
    View()->CheckRunFilesNow();
    QVERIFY(!View()->ChangeBar()->isHidden());
    QSignalSpy status(View(), &RunView::StatusMessage);
    View()->ReloadButton()->click();
    QVERIFY(WaitForIndex());
    const QString readOn = QStringLiteral("The run is read on from record 8193: 2 minute files");
    QVERIFY(std::any_of(status.begin(), status.end(), [&readOn](const QList<QVariant>& line) {
      return line.at(0).toString() == readOn;
    }));
    QVERIFY(View()->ChangeBar()->isHidden());
    QCOMPARE(Session().Run()->Run.count, 2u);
    QVERIFY(Session().Index()->Records() > oneMinute);

    // Truncated: said, a row past the end says why it is not there, and an export says it is
    // short. Dismiss keeps the table; a further change (a file deleted) is told again.
    const std::uint64_t records = Session().Index()->Records();
    QVERIFY(QFile::resize(second, QFileInfo(second).size() / 2));
    View()->CheckRunFilesNow();
    QVERIFY(!View()->ChangeBar()->isHidden());
    View()->MoveToRunRow(View()->Model()->TotalRows() - 1);
    QVERIFY(Cell(CurrentRow(), kColData).startsWith(QStringLiteral("record could not be read: ")));
    std::optional<ExportEnd> end;
    const QMetaObject::Connection ending = QObject::connect(
        &Session(), &RunSession::ExportFinished, View(), [&end](const ExportEnd& e) { end = e; });
    QVERIFY(Session().StartExport(dir.filePath(QStringLiteral("short.pcapng")),
                                  ExportFormat::kPcapng));
    QTRY_VERIFY_WITH_TIMEOUT(end.has_value(), kIndexTimeoutMs);
    QObject::disconnect(ending);
    QVERIFY(!end->ok);
    QVERIFY2(end->message.contains(QStringLiteral("of the %1 records").arg(records)),
             qPrintable(end->message));
    View()->DismissButton()->click();
    QVERIFY(View()->ChangeBar()->isHidden());
    QVERIFY(QFile::remove(second));
    View()->CheckRunFilesNow();
    QVERIFY(!View()->ChangeBar()->isHidden());
    View()->CloseRun();
  }

  void anEquationErrorStandsUnderTheBar() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 1, 500);
    QVERIFY(Frame()->OpenCaptureFile(first));
    QVERIFY(WaitForIndex());
    QLineEdit* equation = View()->Filters()->EquationEdit();
    QLabel* error = View()->Filters()->ErrorLabel();
    equation->setText(QStringLiteral("SA == == 5"));
    QTest::keyClick(equation, Qt::Key_Return);
    QVERIFY(error->isVisible());
    QVERIFY(
        error->text().contains(QStringLiteral("Option ShowOnly Expression Error: Missing "
                                              "Parameter ' == 5")));
    QVERIFY(error->text().contains(QStringLiteral("SA == <u><b>==</b></u> 5")));
    QCOMPARE(View()->Model()->rowCount(), 500);  // the table stays as it was
    equation->setText(QStringLiteral("Foo == 1"));
    View()->Filters()->Apply();
    QVERIFY(error->text().contains(QStringLiteral("Undefined Identifier 'Foo'")));
    QVERIFY(error->text().contains(QStringLiteral("<u><b>Foo</b></u> == 1")));
    equation->setText(QStringLiteral("LEN > 0"));
    View()->Filters()->Apply();
    QVERIFY(!error->isVisible());
    QVERIFY(WaitForFilter());
    QVERIFY(View()->Model()->rowCount() < 500);
  }

  void stopDuringAFilterWhileTheWindowAnswers() {
    QTemporaryDir dir;
    const QString first = fdc::ui::test::WriteLongRun(dir.path());
    QVERIFY(!first.isEmpty());
    // The event loop's longest pause while the long run is read and filtered.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticks;
    ticks.setInterval(10);
    connect(&ticks, &QTimer::timeout, [&] {
      if (sinceTick.isValid()) longestPause = std::max(longestPause, sinceTick.elapsed());
      sinceTick.restart();
    });
    ticks.start();
    QVERIFY(Frame()->OpenCaptureFile(first, 1439));
    View()->Filters()->EquationEdit()->setText(QStringLiteral("SA == 2 && GapTme > 50"));
    View()->Filters()->Apply();
    QVERIFY(Session().Filtering());
    QVERIFY(View()->Filters()->StopButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(View()->Model()->rowCount() > 0, kIndexTimeoutMs);
    QVERIFY(View()->Filters()->CountLabel()->text().contains(QStringLiteral("so far")));
    QTest::mouseClick(View()->Filters()->StopButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Session().Filtering(), 5000);
    QVERIFY(View()->Filters()->CountLabel()->text().contains(QStringLiteral("stopped at")));
    QVERIFY(!View()->Filters()->StopButton()->isEnabled());
    // The index pass still runs; the status bar's Stop ends it.
    QVERIFY(Session().Indexing());
    QVERIFY(View()->StatusWidget()->isVisible());
    QCOMPARE(View()->TaskLabel()->text(), QStringLiteral("Reading the run"));
    QTest::mouseClick(View()->TaskStopButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Session().Indexing(), 5000);
    QVERIFY(Frame()->MessagePane()->text().contains(QStringLiteral("stopped at")));
    QVERIFY(!View()->StatusWidget()->isVisible());
    ticks.stop();
    QVERIFY2(longestPause < 2000, qPrintable(QString::number(longestPause)));
  }

  void findRunsInTheBackground() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 3, 3000, true);
    QVERIFY(Frame()->OpenCaptureFile(first, 3));
    QVERIFY(WaitForIndex());
    QSignalSpy found(View(), &RunView::FindFinished);
    QTest::keyClick(Frame(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(View()->FindBar()->isVisible());
    QVERIFY(View()->FindEdit()->hasFocus() || QGuiApplication::platformName() == "offscreen");
    View()->FindEdit()->setText(QStringLiteral("synchronization lost"));
    QTest::keyClick(View()->FindEdit(), Qt::Key_Return);
    QTRY_COMPARE(found.size(), 1);
    QCOMPARE(found.front().front().toBool(), true);
    const int at = CurrentRow();
    QCOMPARE(ClassOf(at), RowClass::kEvent);
    // F3 goes on from there, round the end if need be.
    QTest::keyClick(Frame(), Qt::Key_F3);
    QTRY_COMPARE(found.size(), 2);
    QCOMPARE(ClassOf(CurrentRow()), RowClass::kEvent);
    View()->Find(QStringLiteral("no such text"), true);
    QTRY_COMPARE(found.size(), 3);
    QCOMPARE(found.back().front().toBool(), false);
  }

  void exportsTheRecordsShown() {
    // What an export writes and refuses the session's own tests check without a display; here
    // the view hands it the bar's option file and shows how it ended in the status bar.
    QTemporaryDir dir;
    const QString first = Generate(dir, 3, 3000, true);
    QVERIFY(Frame()->OpenCaptureFile(first, 3));
    QVERIFY(WaitForIndex());
    View()->Filters()->FaultsCheck()->setChecked(true);
    QVERIFY(WaitForFilter());
    const int shown = View()->Model()->rowCount();
    QVERIFY(shown > 0);
    QSignalSpy exported(View(), &RunView::ExportFinished);

    const QString options =
        QString::fromLocal8Bit(qgetenv("FDC_SOURCE_DIR")) + QStringLiteral("/samples/Compact.opt");
    View()->SetOptionFile(options);
    QCOMPARE(Session().OptionFile(), options);
    QCOMPARE(View()->Filters()->OptionFile(), options);
    const QString text = dir.filePath(QStringLiteral("faults.txt"));
    QString refusal;
    QVERIFY2(Session().StartExport(text, ExportFormat::kText, &refusal), qPrintable(refusal));
    QTRY_COMPARE(exported.size(), 1);
    QCOMPARE(exported.back().front().toBool(), true);
    QCOMPARE(Frame()->MessagePane()->text(),
             QStringLiteral("%1 records exported to faults.txt").arg(shown));

    // From the menu, as pcapng: the file dialog, then the capture date offered from the first
    // file's day; the next export starts in the folder of this one.
    QDir elsewhere(dir.path());
    QVERIFY(elsewhere.mkpath(QStringLiteral("out")));
    QString offeredDate;
    QString startFolder;
    QString target = dir.filePath(QStringLiteral("out/faults.pcapng"));
    ModalWatcher watcher;
    watcher.onFileDialog = [&](QFileDialog* files) {
      startFolder = files->directory().absolutePath();
      auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name != nullptr) name->setText(target);
      static_cast<QDialog*>(files)->accept();
    };
    watcher.onOtherDialog = [&](QDialog* dialog) {
      auto* ask = qobject_cast<QInputDialog*>(dialog);
      if (ask == nullptr) return dialog->reject();
      offeredDate = ask->textValue();
      ask->setTextValue(QStringLiteral("2026-12-08"));
      ask->accept();
    };
    View()->ExportPcapngAction()->trigger();
    QTRY_COMPARE(exported.size(), 2);
    QCOMPARE(offeredDate, QString::fromStdString(fdc::ui::CaptureDateOf(first.toStdString())));
    QCOMPARE(Frame()->MessagePane()->text(),
             QStringLiteral("%1 records exported to faults.pcapng").arg(shown));
    target = dir.filePath(QStringLiteral("out/again.pcapng"));
    View()->ExportPcapngAction()->trigger();
    QTRY_COMPARE(exported.size(), 3);
    QCOMPARE(startFolder, dir.filePath(QStringLiteral("out")));
  }

  void theTableMovesToATime() {
    QTemporaryDir dir;
    const QString first = Generate(dir, 2, 1000);
    QVERIFY(Frame()->OpenCaptureFile(first, 2));
    QVERIFY(WaitForIndex());
    View()->MoveToRunRow(1500);
    const QString time = Cell(CurrentRow(), kColTime);
    View()->MoveToRunRow(0);
    // The time shown, read back as ns: the row is the first at or after it.
    const QStringList parts = time.split(QRegularExpression(QStringLiteral("[:.]")));
    QCOMPARE(parts.size(), 5);
    const qint64 ns =
        (((parts[0].toLongLong() * 60 + parts[1].toLongLong()) * 60 + parts[2].toLongLong()) *
             1000 +
         parts[3].toLongLong()) *
            1'000'000 +
        parts[4].toLongLong() * 1000;
    View()->ShowTime(ns);
    QVERIFY(CurrentRow() <= 1500);
    QVERIFY(CurrentRow() >= 1499);
    QVERIFY(Cell(CurrentRow(), kColTime) >= Cell(CurrentRow() - 1, kColTime));
  }

  // --- The keyboard and a small screen ---

  // At 1024 x 700 every control of the filter bar and the health view's top row shows whole.
  void aSmallScreenShowsEveryControl() {
    QTemporaryDir dir;
    QVERIFY(Frame()->OpenCaptureFile(Generate(dir, 1, 100), 1));
    QVERIFY(WaitForIndex());
    Frame()->showNormal();
    Frame()->resize(1024, 700);
    QVERIFY(fdc::ui::test::WaitUntilLaidOut([] { return Frame()->size() == QSize(1024, 700); }));
    if (!qEnvironmentVariableIsEmpty("FDC_SMALL_SCREEN_PICTURE")) {
      Frame()->grab().save(qEnvironmentVariable("FDC_SMALL_SCREEN_PICTURE"));
    }
    FilterBar& bar = *View()->Filters();
    HealthView& health = *Frame()->HealthArea();
    const QList<QWidget*> controls = {
        bar.OptionFileEdit(),   bar.BrowseButton(),  bar.EquationEdit(),     bar.ApplyButton(),
        bar.StopButton(),       bar.StationBox(),    bar.ServiceBox(),       bar.GapCheck(),
        bar.GapField(),         bar.FaultsCheck(),   bar.FaultKindBox(),     health.SlotTimeField(),
        health.TtrField(),
        health.ComputeButton(), health.StopButton(), health.ExportButton()};
    // The labels that name a control; texts that say something carry a tooltip.
    QList<QWidget*> labels;
    for (QWidget* parent : {static_cast<QWidget*>(&bar), static_cast<QWidget*>(&health)}) {
      for (QLabel* label : parent->findChildren<QLabel*>()) {
        if (label->isVisible() && label->buddy() != nullptr) labels << label;
      }
    }
    labels << bar.CountLabel();
    for (QWidget* w : controls + labels) {
      const QString name = w->objectName() + " " + w->metaObject()->className();
      QVERIFY2(w->isVisible(), qPrintable(name));
      QVERIFY2(w->visibleRegion().boundingRect() == w->rect(), qPrintable(name + " is cut"));
      QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(name + " is too narrow"));
    }
  }

  // Typing in the table never searches it: digits go to Go to, other keys do nothing.
  void typingInTheTable() {
    QTemporaryDir dir;
    QVERIFY(Frame()->OpenCaptureFile(Generate(dir, 1, 500), 1));
    QVERIFY(WaitForIndex());
    QTableView* table = View()->Table();
    table->setFocus();
    table->setCurrentIndex(View()->Model()->index(10, 0));
    QTest::keyClicks(table, QStringLiteral("zq"));
    QCOMPARE(CurrentRow(), 10);
    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(CurrentRow(), 11);
    ModalWatcher watcher;
    QString typed;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      auto* input = qobject_cast<QInputDialog*>(dialog);
      if (input == nullptr) return dialog->reject();
      typed = input->textValue();
      input->setTextValue(typed + QStringLiteral("50"));
      input->accept();
    };
    QTest::keyClick(table, Qt::Key_3);
    QCOMPARE(typed, QStringLiteral("3"));
    QTRY_COMPARE(Cell(CurrentRow(), kColRef).trimmed(), QStringLiteral("350"));
    // Tab leaves the table for the next panel.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != table);
  }

  void theMenusAndThePanelsFromTheKeyboard() {
    QTemporaryDir dir;
    QVERIFY(Frame()->OpenCaptureFile(Generate(dir, 1, 100), 1));
    QVERIFY(WaitForIndex());
    // Alt with a menu's letter opens it, whatever has the focus; F10 opens the first.
    const std::pair<Qt::Key, QString> menus[] = {{Qt::Key_F, QStringLiteral("&File")},
                                                 {Qt::Key_G, QStringLiteral("&Go")},
                                                 {Qt::Key_A, QStringLiteral("&Analyze")},
                                                 {Qt::Key_H, QStringLiteral("&Help")},
                                                 {Qt::Key_F10, QStringLiteral("&File")}};
    for (const auto& [key, title] : menus) {
      View()->Filters()->EquationEdit()->setFocus();
      QTest::keyClick(QApplication::focusWidget(), key,
                      key == Qt::Key_F10 ? Qt::NoModifier : Qt::AltModifier);
      QTRY_VERIFY2(Frame()->menuBar()->activeAction() != nullptr, qPrintable(title));
      QCOMPARE(Frame()->menuBar()->activeAction()->text(), title);
      QMenu* open = Frame()->menuBar()->activeAction()->menu();
      if (open->isVisible()) open->close();
      QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
      Frame()->menuBar()->setActiveAction(nullptr);
    }
    // Ctrl+1 to Ctrl+6 reach each panel, and Tab goes round them in that order.
    QList<QWidget*> panels;
    for (std::size_t i = 0; i < CMainFrame::kPanelCount; ++i) {
      QTest::keyClick(Frame(), static_cast<Qt::Key>(Qt::Key_1 + static_cast<int>(i)),
                      Qt::ControlModifier);
      QTRY_COMPARE(QApplication::focusWidget(), Frame()->Panel(i));
      panels << QApplication::focusWidget();
    }
    QWidget* at = panels.front();
    int reached = 1;
    for (int step = 0; step < 60 && reached < panels.size(); ++step) {
      at = at->nextInFocusChain();
      if (at == panels[reached]) ++reached;
    }
    QCOMPARE(reached, static_cast<int>(panels.size()));
    // Help > Keyboard Shortcuts lists them.
    QStringList keys;
    ModalWatcher watcher;
    watcher.onOtherDialog = [&](QDialog* dialog) {
      auto* shortcuts = dialog->findChild<QTableWidget*>(QStringLiteral("shortcuts"));
      for (int row = 0; shortcuts != nullptr && row < shortcuts->rowCount(); ++row) {
        keys << shortcuts->item(row, 0)->text() + " " + shortcuts->item(row, 1)->text();
      }
      dialog->reject();
    };
    Frame()->findChild<QAction*>(QStringLiteral("keyboardShortcuts"))->trigger();
    for (const QString& expected :
         {QStringLiteral("Ctrl+1 Filter Bar"), QStringLiteral("Ctrl+6 Charts"),
          QStringLiteral("F8 Next Fault"), QStringLiteral("F10 The menus, from the first")}) {
      QVERIFY2(keys.contains(expected), qPrintable(expected + " in " + keys.join(", ")));
    }
  }

  // A run whose reading yields no record leaves Open Recent.
  void aRunOfNoRecordLeavesOpenRecent() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("Empty1200.FdcCapt"));
    fdc::ui::test::WriteTextFile(first, QByteArray(40, '\0'));
    ModalWatcher watcher;
    QVERIFY(Frame()->OpenCaptureFile(first, 1));
    QVERIFY(QTest::qWaitFor([] { return Session().Index()->Complete(); }, kIndexTimeoutMs));
    QTRY_VERIFY(!Frame()->RecentMenu()->isEnabled());
  }

  void theDetailsPaneFollowsTheTableAndLeadsToTheReply() {
    // The golden DP run: a Slave_Diag request, its reply decoded under the table.
    QTemporaryDir dir;
    QVERIFY(OpenGoldenDpRun(dir));
    DetailsPane* pane = Frame()->DetailsArea();
    QVERIFY(pane->isVisible());
    QTreeWidget* tree = pane->Tree();
    auto topItem = [tree](const QString& start) -> QTreeWidgetItem* {
      for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->text(0).startsWith(start)) return tree->topLevelItem(i);
      }
      return nullptr;
    };
    auto child = [](QTreeWidgetItem* parent, const QString& start) -> QTreeWidgetItem* {
      for (int i = 0; parent != nullptr && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0).startsWith(start)) return parent->child(i);
      }
      return nullptr;
    };

    // A row selected in the table: its record in the pane.
    int requestRow = -1;
    for (int r = 0; r < View()->Model()->rowCount() && requestRow < 0; ++r) {
      if (Cell(r, kColSaps) == "60{62") requestRow = r;
    }
    QVERIFY(requestRow >= 0);
    View()->Table()->setCurrentIndex(View()->Model()->index(requestRow, 0));
    const quint32 requestRef = Cell(requestRow, kColRef).toUInt();
    QCOMPARE(pane->Record(), requestRef);
    QVERIFY(topItem(QStringLiteral("DP: Slave_Diag request")) != nullptr);

    // Its reply, through the link.
    QTreeWidgetItem* link = child(topItem(QStringLiteral("Pairing")), QStringLiteral("Reply: record"));
    QVERIFY(link != nullptr);
    tree->setCurrentItem(link);
    emit tree->itemActivated(link, 0);
    QCOMPARE(View()->CurrentRecord(), requestRef + 1);
    QCOMPARE(pane->Record(), requestRef + 1);
    QTreeWidgetItem* dp = topItem(QStringLiteral("DP: Slave_Diag reply"));
    QVERIFY(dp != nullptr);

    // An item selected: its bytes highlighted; a byte clicked: the innermost item over it.
    QTreeWidgetItem* ident = child(dp, QStringLiteral("ident_number"));
    QVERIFY(ident != nullptr);
    tree->setCurrentItem(ident);
    const std::vector<int> bytes = pane->Highlight();
    QCOMPARE(bytes.size(), std::size_t{2});
    QCOMPARE(bytes[1] - bytes[0], 2);
    QCOMPARE(pane->SelectedHex().size(), 5);
    QTextCursor cursor = pane->Hex()->textCursor();
    cursor.setPosition(pane->Hex()->document()->findBlockByNumber(0).position() +
                       HexPlaceOf(8).hexColumn);
    pane->Hex()->setTextCursor(cursor);  // byte 8: the start delimiter
    QVERIFY(tree->currentItem()->text(0).startsWith(QStringLiteral("Start delimiter")));
    QVERIFY(pane->SelectedText().startsWith(QStringLiteral("Start delimiter: SD")));
    pane->SelectByte(bytes[0]);
    QCOMPARE(tree->currentItem(), ident);

    // A filter that hides the reply: following the link clears it, with a note.
    View()->Filters()->EquationEdit()->setText(QStringLiteral("(FC & 0x40) != 0"));
    View()->Filters()->ApplyButton()->click();
    QVERIFY(WaitForFilter());
    QVERIFY(Session().ShowsMatches());
    QVERIFY(View()->ShowRecord(requestRef));
    QSignalSpy notes(View(), &RunView::StatusMessage);
    link = child(topItem(QStringLiteral("Pairing")), QStringLiteral("Reply: record"));
    QVERIFY(link != nullptr);
    emit tree->itemActivated(link, 0);
    QVERIFY(!Session().ShowsMatches());
    QCOMPARE(View()->CurrentRecord(), requestRef + 1);
    QVERIFY(!notes.isEmpty() &&
            notes.back().front().toString().contains(QStringLiteral("was cleared")));

    // Hidden from the View menu, and so after a restart.
    Frame()->DetailsAction()->trigger();
    QVERIFY(!pane->isVisible());
    App().ExitInstance();
    QCOMPARE(StoredText("DetailsHidden"), QStringLiteral("1"));
    QVERIFY(App().InitInstance());
    QVERIFY(!Frame()->DetailsAction()->isChecked());
    Frame()->DetailsAction()->trigger();
    QVERIFY(!Frame()->DetailsArea()->isHidden());
  }

  void theDpTabAndItsFindingsLeadToTheRecords() {
    // The golden DP run: a DP finding filters the table to the records of its events and selects
    // the first one once the filter shows it; a record of the DP tab is selected in the
    // table; the quick filter of DP events shows the requests that carry one and their replies.
    QTemporaryDir dir;
    QVERIFY(OpenGoldenDpRun(dir));
    HealthView& health = *Frame()->HealthArea();
    const fdc::BusFigures& figures = *health.Figures();

    QTreeWidget& findings = *health.FindingsList();
    QTreeWidgetItem* dropped = nullptr;
    for (int i = 0; i < findings.topLevelItemCount(); ++i) {
      if (findings.topLevelItem(i)->text(0).contains(QStringLiteral("dropped out of data exchange")))
        dropped = findings.topLevelItem(i);
    }
    QVERIFY(dropped != nullptr);
    emit findings.itemClicked(dropped, 0);
    QVERIFY(WaitForFilter());
    QVERIFY(View()->Filters()->DpEventsCheck()->isChecked());
    QVERIFY(!View()->Filters()->FindingLabel()->isHidden());
    const std::uint32_t firstRef = View()->CurrentRecord();
    const auto firstDrop = std::find_if(
        figures.dp.events.begin(), figures.dp.events.end(), [](const fdc::DpEvent& e) {
          return e.kind == fdc::DpEventKind::kState && e.from == fdc::DpState::kDataExchange;
        });
    QVERIFY(firstDrop != figures.dp.events.end());
    QCOMPARE(firstRef, firstDrop->ref);

    // A record from the DP tab, hidden by the filter: the filter goes, the record is selected.
    const std::uint32_t other = figures.dp.events.front().ref;
    emit health.RecordActivated(other);
    QVERIFY(!Session().ShowsMatches());
    QCOMPARE(View()->CurrentRecord(), other);

    // DP events: each request that carries one, and the reply after it.
    QCheckBox* events = View()->Filters()->DpEventsCheck();
    QVERIFY(events->isEnabled());
    events->setChecked(true);
    QVERIFY(WaitForFilter());
    std::set<std::uint32_t> carried;
    for (const fdc::DpEvent& e : figures.dp.events) carried.insert(e.ref);
    const int shown = View()->Model()->rowCount();
    QVERIFY(shown >= static_cast<int>(carried.size()));
    for (int r = 0; r < shown; ++r) {
      const std::uint32_t ref = Cell(r, kColRef).toUInt();
      QVERIFY2(carried.count(ref) > 0 || carried.count(ref - 1) > 0, qPrintable(Cell(r, 0)));
    }
  }
};

int main(int argc, char** argv) {
  fdc::ui::test::WidgetTestArguments a = fdc::ui::test::PrepareWidgetTest(argc, argv);
  CTeloFdcCaptAnlzApp app(a.count, a.args.data());
  app.setQuitOnLastWindowClosed(false);
  // The platform's own file dialogs cannot be answered by the tests' watcher.
  UseQtFileDialogs(true);
  TableWidgetTest test;
  return QTest::qExec(&test, a.count, a.args.data());
}

#include "table_widget_test.moc"
