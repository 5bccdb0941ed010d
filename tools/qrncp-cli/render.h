// The applet's windows as text: the sheet with its page tabs and the active
// page's controls, message boxes, and the board-configuration record.
#pragma once

#include <string>

#include "boardconfig.h"
#include "platform/ui.h"

namespace cli {

std::string render_sheet(vnx::ui::PropertySheet& sheet);
std::string render_message_box(const vnx::ui::MessageBoxRecord& box);
std::string render_record(const BoardConfig& record);
// The control id of a window (0 when it has none).
int control_id(HWND hwnd);

}  // namespace cli
