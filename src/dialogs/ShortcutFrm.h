#pragma once

#include "forms/Form.h"

namespace kestovan {
class MainModule;
}

namespace kestovan::dialogs {

// The start-menu folder chooser: offers "Tavori Software" and the recorded
// start-menu folders that exist as program groups, and leaves the user's
// choice in TempText (the empty string when the user declines).
class ShortcutFrm : public forms::Form {
public:
    explicit ShortcutFrm(MainModule& module);

    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void CmdRemove_Click();
    void CmdDontRemove_Click();

private:
    MainModule& module_;
};

} // namespace kestovan::dialogs
