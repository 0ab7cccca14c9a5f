#pragma once

#include <cstdint>
#include <string>

namespace kestovan {

// 16-bit Booleans of the program: True is -1, False is 0.
using Boolean = std::int16_t;
inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;

// Message box answers kept in Answer.
inline constexpr std::int16_t AnswerYes = 6;
inline constexpr std::int16_t AnswerNo = 7;

inline constexpr const char* ProgramTitle = "Tavori Software - [KESTOVAN]";

// Everything the program shares between its routines and dialogs: one record
// for the life of the process, created zeroed.  Directory paths held here end
// with a backslash.
struct ProgramState {
    std::string StartPath;
    std::string RemovePath;
    Boolean UseRegistryPath = False;
    std::string RemoveProgram1;
    std::string RemoveProgram2;
    std::string RemoveProgram3;
    std::string StartMenu1;
    std::string StartMenu2;
    std::string StartMenu3;
    std::int16_t ProgramCount = 0;
    std::string RegJPG;
    std::string RegJPE;
    std::string RegJPEG;
    std::string RegJIF;
    std::string RegGIF;
    std::string RegBMP;
    std::string RegDIB;
    std::string RegRLE;
    std::string RegWMF;
    std::string RegEMF;
    std::string ViewerPath;
    std::string SoundPath;
    std::string NotesPath;
    Boolean ProblemsFound = False;
    std::string StatusLog;
    // 32 bits: a sweep walks every file of a directory, and a directory may
    // hold more than 32,767 of them.
    std::int32_t LoopIndex = 0;
    std::int16_t Answer = 0;
    std::int32_t ApiResult = 0;
    std::string CrLf;
    std::string CrLf2;
    std::string TempText;
    std::string SelectedApp;
    Boolean UnloadRequested = False;
    Boolean CancelRequested = False;
};

} // namespace kestovan
