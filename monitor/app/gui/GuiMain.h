// The window host's program: opening the display, the application object's start-up (single
// instance, hardware back-end and helper services, the hidden frame) and the event loop.
#pragma once

#include "monitor/app/Velmond.h"
#include "monitor/app/gui/GuiHost.h"

namespace velmo::app::gui {

// Whether there is a display to open: a Qt platform chosen outright that needs none (offscreen,
// vnc, ...), or DISPLAY or WAYLAND_DISPLAY set.
bool DisplayNamed();

// The start-up and the event loop on an existing QApplication; returns the exit code. With
// `watchSignals`, SIGINT, SIGTERM and SIGHUP (blocked by the caller in every thread) end the
// program through its exit path.
int RunGuiMonitor(const Options& options, GuiServices services, bool watchSignals = false);

// The whole program: command line, display, signals, QApplication, RunGuiMonitor.
int RunGuiProgram(int argc, char** argv);

}  // namespace velmo::app::gui
