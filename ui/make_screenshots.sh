#!/bin/sh
# Remakes the pictures of the main window (the bundled sample run open), the path from a finding
# to its records (a generated run with an outage), the record details of a
# Slave_Diag reply (the golden DP run open), the DP tab of the health view, the text dump dialog (at
# rest and while a dump runs) and the bus health view in docs/screenshots without a display of
# one's own: the widget test programs draw them, on a virtual X server when xvfb-run is there (so
# the lock indicators show their real state), else on Qt's offscreen platform.
# Usage: ui/make_screenshots.sh [BUILD_DIR]   (default: build-ui)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-ui"}
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target ui_widget_tests health_widget_tests
out="$root/docs/screenshots"
export FDC_SOURCE_DIR="$root"
for program in "$build/tests/ui/ui_widget_tests" "$build/tests/ui/health_widget_tests"; do
  if command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$program" -platform xcb --screenshot "$out"
  else
    QT_QPA_PLATFORM=offscreen "$program" --screenshot "$out"
  fi
done
echo "written: $out/main_window.png $out/finding_records.png $out/record_details.png $out/text_dump_dialog.png" \
  "$out/text_dump_running.png $out/health_view.png $out/dp_tab.png"
