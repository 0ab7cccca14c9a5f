#pragma once

#include "forms/Form.h"

namespace kestovan {
class MainModule;
}

namespace kestovan::dialogs {

// The progress dialog shown while a removal runs; its Cancel asks the run to
// stop at its next checkpoint.
class RemoveWaitFrm : public forms::Form {
public:
    explicit RemoveWaitFrm(MainModule& module);

    void Form_Load() override;
    void CmdCancel_Click();

private:
    MainModule& module_;
};

} // namespace kestovan::dialogs
