#include "programservices.h"

#include "childform.h"
#include "childhost.h"
#include "extrasdlg.h"
#include "printing.h"

void TProgramServices::Print(TChildForm& form, bool withDialog) {
  IChildHost* host = form.Host();
  PrintChild(form, withDialog, [host](int context) {
    if (host) host->HelpRequest(context);
  });
}

void TProgramServices::PrintSetup(TChildForm& form) {
  PrintSetupChild(form);
}

void TProgramServices::Extras(TChildForm& form, const std::string& command) {
  RunExtrasCommand(form, command);
}
