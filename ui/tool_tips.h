#pragma once
// Tip texts of the main dialog's controls, by control identifier.

#include <QString>

// The tip of a control; empty for controls that have none.
QString ToolTipForControl(int id);
