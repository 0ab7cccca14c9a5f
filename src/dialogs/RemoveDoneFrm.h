#pragma once

#include "forms/Form.h"

namespace kestovan {
class MainModule;
}

namespace kestovan::dialogs {

// The status report: the result sentence, the whole status log, and a
// button that copies the log to the clipboard.
class RemoveDoneFrm : public forms::Form {
public:
    explicit RemoveDoneFrm(MainModule& module);

    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void CmdCopy_Click();
    void CmdOK_Click();

private:
    MainModule& module_;
};

} // namespace kestovan::dialogs
