// The program's services for its registration windows: printing (src/window/printing)
// and the File menu's additions (src/extras). The program entry creates one and hands it
// to the main window, which passes it to every registration window it creates.
#pragma once

#include "childservices.h"

class TProgramServices : public IChildServices {
 public:
  void Print(TChildForm& form, bool withDialog) override;
  void PrintSetup(TChildForm& form) override;
  void Extras(TChildForm& form, const std::string& command) override;
};
