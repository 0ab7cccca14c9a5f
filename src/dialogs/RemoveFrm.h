#pragma once

#include "forms/Form.h"

namespace kestovan {
class MainModule;
}

namespace kestovan::dialogs {

// The main window: the list of applications to remove, the directory to be
// emptied, Remove and Cancel; it also lends its hidden DDE text box, file
// list and directory list to the logic.
class RemoveFrm : public forms::Form {
public:
    explicit RemoveFrm(MainModule& module);

    void Form_Load() override;
    void Form_QueryUnload(int& cancel, int unloadMode) override;

    void lblPath_Click();
    void CmdCancel_Click();
    void CmdRemove_Click();

private:
    MainModule& module_;
};

} // namespace kestovan::dialogs
