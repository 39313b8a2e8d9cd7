// velmond-gui: the window host of the Velmo monitor, started by velmond.
#include "monitor/app/gui/GuiMain.h"

int main(int argc, char** argv) {
  return velmo::app::gui::RunGuiProgram(argc, argv);
}
