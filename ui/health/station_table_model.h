// The health view's station table: every per-station figure of fdcstat as a column, in the order
// of its JSON and CSV, each cell holding the figure exactly as the JSON gives it (for sorting and
// comparing) and a text for people; after them the slave's device as its GSD file names it. The
// view shows the columns in the order people read them (StationViewOrder), the model keeps the
// JSON's.
#pragma once

#include <QAbstractTableModel>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/bus_statistics.h"

namespace fdc::ui {

// How a figure reads for people.
enum class FigureFormat : std::uint8_t {
  kCount,     // a plain integer
  kText,      // a word ("master", "master-in-ring")
  kClock,     // ns as the module's time of day to the microsecond
  kDuration,  // ns as milliseconds with three decimals
  kBits,      // bit times, a plain (possibly negative) integer
};

struct StationColumn {
  std::string_view path;     // the figure's name in the JSON, nested names joined by "."
  std::string_view heading;  // short, for the table's header
  FigureFormat format;
  std::string_view unit;        // what the figure is in: "in bit times", "in requests", "a word"
  std::string_view definition;  // what it counts or measures, in the words of fdcstat's README
};

inline constexpr std::size_t kStationColumnCount = 51;
extern const std::array<StationColumn, kStationColumnCount> kStationColumns;
// The column after the figures: the device by the slave's GSD file (DeviceText), with its modules
// and last diagnosis texts as the tooltip.
inline constexpr int kDeviceColumn = static_cast<int>(kStationColumnCount);

// The model's columns in the order the view shows them: the address and the role (frozen at the
// left), the faults, the times, the other figures in the JSON's order, and the device last.
const std::vector<int>& StationViewOrder();
// How many of the view's first columns stay at the left when the table scrolls sideways.
inline constexpr int kFrozenStationColumns = 2;

// The header's tooltip of a model column: "JSON name, unit: definition".
std::string StationColumnTip(int column);

// The figure of a column, from the report's flattening of the station.
FigureValue StationFigure(const StationFigures& station, std::size_t column);
// The text for people; "-" for null.
std::string FigureText(const FigureValue& value, FigureFormat format);

class StationTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The figure as the JSON gives it: qulonglong, qlonglong or QString, an invalid QVariant for
  // null. The view sorts by it.
  static constexpr int kFigureRole = Qt::UserRole + 1;

  explicit StationTableModel(QObject* parent = nullptr);

  // Shows the stations of `figures`, by address; an empty list clears the table. `dp` gives the
  // slaves' devices (null: none).
  void SetStations(const std::vector<StationFigures>& stations, const DpFigures* dp = nullptr);
  // The station in a row of this model.
  std::uint8_t AddressAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // The heading, and as a tooltip StationColumnTip.
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  // The stations by address, each flattened once.
  std::vector<std::uint8_t> addresses_;
  std::vector<std::vector<FigureValue>> rows_;
  std::vector<std::string> devices_;     // by row: DeviceText
  std::vector<std::string> deviceTips_;  // by row: DeviceLines, a line each
};

}  // namespace fdc::ui
