#pragma once

#include "forms/Form.h"

#include <string>

namespace kestovan {
class MainModule;
}

namespace kestovan::dialogs {

// Lets the user choose where the removal data comes from when an
// application is registered in another directory than the start directory.
class SelectDirFrm : public forms::Form {
public:
    explicit SelectDirFrm(MainModule& module);

    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void CmdContinue_Click();
    void CmdCancel_Click();
    void lblProgPath_Click();
    void lblTViewerPath_Click();
    void lblTSoundPath_Click();
    void lblTNotesPath_Click();

private:
    void ShowApplicationPath(const std::string& heading, const std::string& installPath);

    MainModule& module_;
};

} // namespace kestovan::dialogs
