#pragma once

// One form as a native window.  Internal to the Win32 front end.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "forms/Control.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kestovan::forms {

class Form;

namespace win32ui {

// What the user did, in the terms of the dialog actions; queued by the
// window procedure and performed later by the front end's message loop.
struct PendingAction {
    enum class Kind { Click, Select, Set, Close };
    std::string form;
    std::string control;
    Kind kind = Kind::Click;
    int index = -1;
};

// The GDI objects and resources all windows share: fonts and brushes are
// made once per description and deleted with this object.
class SharedResources {
public:
    SharedResources();
    ~SharedResources();
    SharedResources(const SharedResources&) = delete;
    SharedResources& operator=(const SharedResources&) = delete;

    HINSTANCE Instance() const { return instance_; }
    HFONT Font(const FontSpec& spec);
    HBRUSH Brush(COLORREF colour);
    // The form layout is in twips (1440 an inch); on the screen it is as many
    // pixels as the screen's dots per inch make (LOGPIXELSX, LOGPIXELSY): 15
    // twips a pixel at 96, 10 at 144.  The program declares itself DPI-aware,
    // so Windows does not stretch its windows.
    int PixelsX(int twips) const;
    int PixelsY(int twips) const;
    // A size in pixels of a 96-dots-per-inch screen, on this screen.
    int ScaledX(int pixelsAt96) const;
    HICON ProgramIcon() const { return programIcon_; }
    HICON ProgramIconSmall() const { return programIconSmall_; }
    HICON FoldersIcon() const { return foldersIcon_; }
    HCURSOR HandCursor() const { return hand_; }
    const char* WindowClass() const { return "KestovanForm"; }

private:
    HINSTANCE instance_;
    int dpiX_;
    int dpiY_;
    HICON programIcon_;
    HICON programIconSmall_;
    HICON foldersIcon_;
    HCURSOR hand_;
    std::map<std::tuple<std::string, int, bool>, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
};

// A colour of the control model (&H00BBGGRR&, or a system colour with the
// high bit set) as a GDI colour.
COLORREF ToColorRef(std::uint32_t colour);

class FormWindow {
public:
    FormWindow(SharedResources& resources, Form& form, std::deque<PendingAction>& pending,
               const int& screenPointer);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    const std::string& FormName() const { return formName_; }
    // The model; only valid while the form is loaded.
    Form& Model() const { return form_; }

    // Brings the window and its controls up to date with the model.
    void Sync();
    // Shows the window, brings it to the front and gives the focus to the
    // first control in tab order that can take it.
    void Show();
    void Hide();

    // Enter and Esc, handled the way the form's Default and Cancel buttons
    // want; true when the key was taken.
    bool TranslateKey(const MSG& message);

private:
    struct Child {
        Control* control = nullptr;
        HWND hwnd = nullptr;
        int id = 0;
        bool ownerDraw = false;
        bool defaultLook = false;
        // Kept for the window procedure, which may run while the model is
        // being torn down (focus changes repaint buttons at once).
        HFONT font = nullptr;
        COLORREF foreColour = 0;
        COLORREF backColour = 0;
        bool transparentBack = false;
        // What the native control shows now.
        std::string caption;
        bool enabled = true;
        bool visible = true;
        bool value = false;
        std::optional<std::uint64_t> itemsVersion; // of the entries shown; none yet
        int listIndex = -1;
        std::string toolTip;
        bool toolTipAdded = false;
    };
    struct Painted {
        std::string signature; // what was painted; a change repaints
        std::string toolTip;
        bool toolTipAdded = false;
        RECT rect{};
    };

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateChildren();
    RECT PixelRect(const Control& control) const;
    bool ShownOnScreen(const Control& control) const;
    Child* ChildOf(HWND hwnd);
    Child* ChildById(int id);
    const Control* Windowless(POINT point) const;
    void Paint(HDC dc);
    void PaintControl(HDC dc, const Control& control);
    void DrawOwnerButton(const DRAWITEMSTRUCT& item);
    LRESULT ControlColours(HDC dc, HWND child);
    bool SetCursorFor(HWND over, WORD hitTest);
    void SyncChild(Child& child);
    void SyncToolTip(UINT_PTR id, HWND toolWindow, const RECT* rect, const std::string& text,
                     std::string& applied, bool& added);
    void SyncDefaultLook();
    const Control* DefaultButton() const;
    const Control* CancelButton() const;
    void Post(PendingAction::Kind kind, const std::string& control, int index = -1);

    SharedResources& resources_;
    Form& form_;
    bool alive_ = true;
    std::string formName_;
    std::deque<PendingAction>& pending_;
    const int& screenPointer_;
    HWND hwnd_ = nullptr;
    HWND toolTips_ = nullptr;
    HWND savedFocus_ = nullptr;
    std::string caption_;
    std::vector<Child> children_;
    std::map<const Control*, Painted> painted_;
    std::string pressedLabel_;
};

} // namespace win32ui
} // namespace kestovan::forms
