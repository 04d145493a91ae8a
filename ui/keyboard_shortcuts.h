// The Help > Keyboard Shortcuts dialog: every key of the window and what it does.
#pragma once

#include <QString>
#include <utility>
#include <vector>

class QWidget;

namespace fdc::ui {

// Shows the keys and what they do, a row each, modally.
void ShowKeyboardShortcuts(QWidget* parent, const std::vector<std::pair<QString, QString>>& rows);

}  // namespace fdc::ui
