#pragma once

// A plain-text map of the windows on screen, for driving the real program from outside with
// real mouse and keyboard events (the end-to-end test): where each visible control is, what it
// says and whether it is enabled, much as an accessibility tree tells a screen reader. Off
// unless the environment variable ORVIK_WIDGET_MAP names the file to keep it in.
//
// One line per visible control, tab-separated:
//     window-index  object-name  class  x  y  width  height  enabled  checked  text
// in screen pixels; cells of a table are listed as NAME[row,column], the rows of a list as
// NAME[row]. A line "focus" names the control with keyboard focus, and "windows" the titles
// of the visible windows, the active one last.

#include <QString>

namespace orvik::app {

// Starts keeping the map in `file`, rewritten (whole, by rename) whenever it changes.
void startWidgetMap(const QString& file);

// The map as it stands; for tests.
QString widgetMapText();

}  // namespace orvik::app
