#include "forms/win32/FormWindow.h"

#include "forms/Form.h"
#include "forms/FormRuntime.h"
#include "forms/win32/Win32Resources.h"
#include "platform/win32/DllSearch.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace kestovan::forms::win32ui {

namespace {

constexpr int TwipsPerInch = 1440;
constexpr int FirstChildId = 100;
// Sizes in pixels of a 96-dots-per-inch screen, scaled to the screen's.
constexpr int IconPixels = 32; // the largest image the program's icons hold
constexpr int ToolTipWidth = 360;
constexpr int FrameCaptionIndent = 8;
constexpr int FrameCaptionMargin = 2;
// DrawEdge draws a sunken edge two pixels wide at every resolution.
constexpr int SunkenEdgePixels = 2;

int ScreenDpi(int index) {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, index) : 0;
    if (screen != nullptr)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

bool IsWindowed(ControlKind kind) {
    switch (kind) {
    case ControlKind::CommandButton:
    case ControlKind::OptionButton:
    case ControlKind::ListBox:
    case ControlKind::TextBox:
    case ControlKind::FileListBox:
    case ControlKind::DirListBox: return true;
    case ControlKind::Label:
    case ControlKind::Frame:
    case ControlKind::Image: return false;
    }
    return false;
}

bool IsList(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::FileListBox ||
           kind == ControlKind::DirListBox;
}

HICON LoadIconResource(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(
        ::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
}

} // namespace

COLORREF ToColorRef(std::uint32_t colour) {
    if (colour & 0x80000000u)
        return ::GetSysColor(static_cast<int>(colour & 0xFFu));
    return static_cast<COLORREF>(colour & 0x00FFFFFFu);
}

// --- Shared resources --------------------------------------------------------

SharedResources::SharedResources()
    : instance_(::GetModuleHandleA(nullptr)), dpiX_(ScreenDpi(LOGPIXELSX)),
      dpiY_(ScreenDpi(LOGPIXELSY)) {
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    // COMCTL32 is no KnownDLL: it is loaded from the system directory (by
    // name, so version 6 through the manifest), never through the import
    // table.
    using InitCall = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const auto init = reinterpret_cast<InitCall>(
            kestovan::win32::SystemFunction("comctl32.dll", "InitCommonControlsEx")))
        init(&common);
    programIcon_ = LoadIconResource(instance_, KESTOVAN_ICON_PROGRAM, 32);
    programIconSmall_ = LoadIconResource(instance_, KESTOVAN_ICON_PROGRAM, 16);
    foldersIcon_ = LoadIconResource(instance_, KESTOVAN_ICON_FOLDERS, 32);
    hand_ = ::LoadCursorA(instance_, MAKEINTRESOURCEA(KESTOVAN_CURSOR_HAND));
    if (hand_ == nullptr)
        hand_ = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
}

SharedResources::~SharedResources() {
    for (auto& entry : fonts_)
        ::DeleteObject(entry.second);
    for (auto& entry : brushes_)
        ::DeleteObject(entry.second);
    for (HICON icon : {programIcon_, programIconSmall_, foldersIcon_})
        if (icon != nullptr)
            ::DestroyIcon(icon);
}

HFONT SharedResources::Font(const FontSpec& spec) {
    const auto key =
        std::make_tuple(spec.name, static_cast<int>(std::lround(spec.size * 100)), spec.bold);
    if (auto found = fonts_.find(key); found != fonts_.end())
        return found->second;
    const int height = -static_cast<int>(std::lround(spec.size * dpiY_ / 72.0));
    HFONT font = ::CreateFontA(height, 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                               FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, spec.name.c_str());
    fonts_.emplace(key, font);
    return font;
}

int SharedResources::PixelsX(int twips) const {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpiX_ / TwipsPerInch));
}

int SharedResources::PixelsY(int twips) const {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpiY_ / TwipsPerInch));
}

int SharedResources::ScaledX(int pixelsAt96) const {
    return ::MulDiv(pixelsAt96, dpiX_, 96);
}

HBRUSH SharedResources::Brush(COLORREF colour) {
    if (auto found = brushes_.find(colour); found != brushes_.end())
        return found->second;
    HBRUSH brush = ::CreateSolidBrush(colour);
    brushes_.emplace(colour, brush);
    return brush;
}

// --- The form window ---------------------------------------------------------

FormWindow::FormWindow(SharedResources& resources, Form& form, std::deque<PendingAction>& pending,
                       const int& screenPointer)
    : resources_(resources), form_(form), formName_(form.Name()), pending_(pending),
      screenPointer_(screenPointer) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExA(resources_.Instance(), resources_.WindowClass(), &windowClass)) {
        windowClass = WNDCLASSEXA{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &FormWindow::Procedure;
        windowClass.hInstance = resources_.Instance();
        windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hIcon = resources_.ProgramIcon();
        windowClass.hIconSm = resources_.ProgramIconSmall();
        windowClass.lpszClassName = resources_.WindowClass();
        ::RegisterClassExA(&windowClass);
    }

    // A fixed dialog frame around the form's client area, centred on the
    // screen's work area.
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, resources_.PixelsX(form.ClientWidth), resources_.PixelsY(form.ClientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + std::max(0, static_cast<int>(work.right - work.left - width) / 2);
    const int y = work.top + std::max(0, static_cast<int>(work.bottom - work.top - height) / 2);

    caption_ = form.Caption;
    ::CreateWindowExA(exStyle, resources_.WindowClass(), caption_.c_str(), style, x, y, width,
                      height, nullptr, nullptr, resources_.Instance(), this);
    if (hwnd_ == nullptr)
        return;
    ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(resources_.ProgramIcon()));
    ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(resources_.ProgramIconSmall()));

    toolTips_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                  WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                  resources_.Instance(), nullptr);
    if (toolTips_ != nullptr)
        ::SendMessageA(toolTips_, TTM_SETMAXTIPWIDTH, 0, resources_.ScaledX(ToolTipWidth));

    CreateChildren();
    Sync();
}

FormWindow::~FormWindow() {
    alive_ = false;
    if (hwnd_ != nullptr)
        ::DestroyWindow(hwnd_);
}

void FormWindow::CreateChildren() {
    // Child windows in tab order: the dialog manager walks them in the order
    // they were made.  Labels, images and frames are drawn by the form.
    std::vector<std::pair<Control*, int>> windowed;
    const auto& controls = form_.Controls();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (IsWindowed(controls[i]->Kind()))
            windowed.emplace_back(controls[i].get(), FirstChildId + static_cast<int>(i));
    std::stable_sort(windowed.begin(), windowed.end(), [](const auto& a, const auto& b) {
        return a.first->TabIndex < b.first->TabIndex;
    });

    const Control* previous = nullptr;
    for (const auto& [control, id] : windowed) {
        const char* windowClass = "BUTTON";
        DWORD style = WS_CHILD | WS_TABSTOP;
        DWORD exStyle = 0;
        bool ownerDraw = false;
        switch (control->Kind()) {
        case ControlKind::CommandButton:
            // Drawn by the form: a face colour of its own, the caption's
            // bold font (which not every system's button honours) and the
            // heavy border of the button that takes Enter.
            style |= BS_OWNERDRAW;
            ownerDraw = true;
            break;
        case ControlKind::OptionButton: style |= BS_RADIOBUTTON | BS_MULTILINE; break;
        case ControlKind::TextBox:
            windowClass = "EDIT";
            exStyle = WS_EX_CLIENTEDGE;
            style |= ES_AUTOHSCROLL;
            if (control->MultiLine) {
                // The status report's log: read only, scrolled both ways,
                // and passed over by Tab.
                style = WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY |
                        WS_VSCROLL | WS_HSCROLL;
            }
            break;
        default:
            windowClass = "LISTBOX";
            exStyle = WS_EX_CLIENTEDGE;
            style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            break;
        }
        const bool continuesGroup = previous != nullptr &&
                                    control->Kind() == ControlKind::OptionButton &&
                                    previous->Kind() == ControlKind::OptionButton &&
                                    previous->Container == control->Container;
        if (!continuesGroup)
            style |= WS_GROUP;
        previous = control;

        const RECT rect = PixelRect(*control);
        HWND child = ::CreateWindowExA(exStyle, windowClass, "", style, rect.left, rect.top,
                                       rect.right - rect.left, rect.bottom - rect.top, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       resources_.Instance(), nullptr);
        if (child == nullptr)
            continue;
        HFONT font = resources_.Font(control->Font);
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        Child entry;
        entry.font = font;
        entry.control = control;
        entry.hwnd = child;
        entry.id = id;
        entry.ownerDraw = ownerDraw;
        entry.defaultLook = false;
        entry.visible = false;
        entry.enabled = true;
        children_.push_back(std::move(entry));
    }
}

RECT FormWindow::PixelRect(const Control& control) const {
    int left = control.Position.left;
    int top = control.Position.top;
    if (!control.Container.empty())
        if (const Control* container = form_.Find(control.Container)) {
            left += container->Position.left;
            top += container->Position.top;
        }
    return RECT{resources_.PixelsX(left), resources_.PixelsY(top),
                resources_.PixelsX(left + control.Position.width),
                resources_.PixelsY(top + control.Position.height)};
}

bool FormWindow::ShownOnScreen(const Control& control) const {
    if (!control.Visible)
        return false;
    if (control.Container.empty())
        return true;
    const Control* container = form_.Find(control.Container);
    return container == nullptr || container->Visible;
}

FormWindow::Child* FormWindow::ChildOf(HWND hwnd) {
    for (Child& child : children_)
        if (child.hwnd == hwnd)
            return &child;
    return nullptr;
}

FormWindow::Child* FormWindow::ChildById(int id) {
    for (Child& child : children_)
        if (child.id == id)
            return &child;
    return nullptr;
}

const Control* FormWindow::Windowless(POINT point) const {
    for (const auto& control : form_.Controls()) {
        if (IsWindowed(control->Kind()) || !ShownOnScreen(*control))
            continue;
        const RECT rect = PixelRect(*control);
        if (::PtInRect(&rect, point))
            return control.get();
    }
    return nullptr;
}

const Control* FormWindow::DefaultButton() const {
    for (const auto& control : form_.Controls())
        if (control->IsDefault && control->Kind() == ControlKind::CommandButton)
            return control.get();
    return nullptr;
}

const Control* FormWindow::CancelButton() const {
    for (const auto& control : form_.Controls())
        if (control->IsCancel && control->Kind() == ControlKind::CommandButton)
            return control.get();
    return nullptr;
}

void FormWindow::Post(PendingAction::Kind kind, const std::string& control, int index) {
    pending_.push_back(PendingAction{formName_, control, kind, index});
}

// --- Model to screen ---------------------------------------------------------

void FormWindow::Sync() {
    if (!alive_ || hwnd_ == nullptr)
        return;
    if (form_.Caption != caption_) {
        caption_ = form_.Caption;
        ::SetWindowTextA(hwnd_, caption_.c_str());
    }
    for (Child& child : children_)
        SyncChild(child);

    for (const auto& control : form_.Controls()) {
        if (IsWindowed(control->Kind()))
            continue;
        const Control& c = *control;
        const bool shown = ShownOnScreen(c);
        const RECT rect = PixelRect(c);
        std::string signature = c.Caption;
        signature += '\x1f';
        for (const long value :
             {static_cast<long>(shown), static_cast<long>(c.Enabled),
              static_cast<long>(c.ForeColor), static_cast<long>(c.BackColor),
              static_cast<long>(c.BackTransparent), static_cast<long>(c.BorderSingle),
              static_cast<long>(c.TextAlign), static_cast<long>(c.Font.bold),
              std::lround(c.Font.size * 100), rect.left, rect.top, rect.right, rect.bottom})
            signature += std::to_string(value) + ",";
        signature += c.Font.name;
        Painted& painted = painted_[&c];
        if (painted.signature != signature) {
            ::InvalidateRect(hwnd_, &painted.rect, TRUE);
            ::InvalidateRect(hwnd_, &rect, TRUE);
            painted.signature = std::move(signature);
            painted.rect = rect;
            // Re-register the tool's rectangle with its text.
            painted.toolTip.clear();
            if (painted.toolTipAdded) {
                TOOLINFOA tool{};
                tool.cbSize = TTTOOLINFOA_V2_SIZE;
                tool.hwnd = hwnd_;
                tool.uId = reinterpret_cast<UINT_PTR>(&c);
                ::SendMessageA(toolTips_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
                painted.toolTipAdded = false;
            }
        }
        SyncToolTip(reinterpret_cast<UINT_PTR>(&c), nullptr, &rect, shown ? c.ToolTipText : "",
                    painted.toolTip, painted.toolTipAdded);
    }
    SyncDefaultLook();
}

void FormWindow::SyncChild(Child& child) {
    const Control& c = *child.control;
    const ControlKind kind = c.Kind();

    const COLORREF fore = ToColorRef(c.ForeColor);
    const COLORREF back = ToColorRef(c.BackColor);
    if (fore != child.foreColour || back != child.backColour ||
        c.BackTransparent != child.transparentBack) {
        child.foreColour = fore;
        child.backColour = back;
        child.transparentBack = c.BackTransparent;
        ::InvalidateRect(child.hwnd, nullptr, TRUE);
    }

    if (!IsList(kind) && c.Caption != child.caption) {
        child.caption = c.Caption;
        ::SetWindowTextA(child.hwnd, child.caption.c_str());
    }

    const bool visible = ShownOnScreen(c);
    if (c.Enabled != child.enabled) {
        child.enabled = c.Enabled;
        if (!child.enabled && ::GetFocus() == child.hwnd) {
            // The focus moves on before the control goes grey, as it does
            // when a focused control is disabled in a dialog.
            HWND next = ::GetNextDlgTabItem(hwnd_, child.hwnd, FALSE);
            ::EnableWindow(child.hwnd, FALSE);
            if (next != nullptr && next != child.hwnd && ::IsWindowEnabled(next))
                ::SetFocus(next);
            else
                ::SetFocus(hwnd_);
        } else {
            ::EnableWindow(child.hwnd, child.enabled ? TRUE : FALSE);
        }
    }
    if (visible != child.visible) {
        child.visible = visible;
        ::ShowWindow(child.hwnd, visible ? SW_SHOWNA : SW_HIDE);
    }

    if (kind == ControlKind::OptionButton && c.Value() != child.value) {
        child.value = c.Value();
        ::SendMessageA(child.hwnd, BM_SETCHECK, child.value ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    if (IsList(kind)) {
        const bool itemsChanged = child.itemsVersion != c.ItemsVersion();
        if (itemsChanged) {
            child.itemsVersion = c.ItemsVersion();
            ::SendMessageA(child.hwnd, WM_SETREDRAW, FALSE, 0);
            ::SendMessageA(child.hwnd, LB_RESETCONTENT, 0, 0);
            for (const std::string& item : c.Items())
                ::SendMessageA(child.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            ::SendMessageA(child.hwnd, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(child.hwnd, nullptr, TRUE);
        }
        const int shownIndex = static_cast<int>(::SendMessageA(child.hwnd, LB_GETCURSEL, 0, 0));
        if (itemsChanged || c.ListIndex() != child.listIndex || shownIndex != c.ListIndex()) {
            child.listIndex = c.ListIndex();
            ::SendMessageA(child.hwnd, LB_SETCURSEL, static_cast<WPARAM>(child.listIndex), 0);
        }
    }

    SyncToolTip(reinterpret_cast<UINT_PTR>(child.hwnd), child.hwnd, nullptr,
                visible ? c.ToolTipText : "", child.toolTip, child.toolTipAdded);
}

void FormWindow::SyncToolTip(UINT_PTR id, HWND toolWindow, const RECT* rect,
                             const std::string& text, std::string& applied, bool& added) {
    if (toolTips_ == nullptr || (text == applied && added == !text.empty()))
        return;
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = hwnd_;
    tool.uId = id;
    tool.uFlags = TTF_SUBCLASS | (toolWindow != nullptr ? TTF_IDISHWND : 0u);
    if (rect != nullptr)
        tool.rect = *rect;
    tool.hinst = resources_.Instance();
    if (added) {
        ::SendMessageA(toolTips_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        added = false;
    }
    applied = text;
    if (!text.empty()) {
        std::string copy = text; // the call takes a non-const text and copies it
        tool.lpszText = copy.data();
        added = ::SendMessageA(toolTips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
    }
}

void FormWindow::SyncDefaultLook() {
    // The focused command button takes Enter and shows the heavy border;
    // elsewhere the form's Default button does.
    const Child* focused = ChildOf(::GetFocus());
    const Control* look =
        focused != nullptr && focused->control->Kind() == ControlKind::CommandButton
            ? focused->control
            : DefaultButton();
    for (Child& child : children_) {
        if (child.control->Kind() != ControlKind::CommandButton)
            continue;
        const bool want = child.control == look;
        if (want == child.defaultLook)
            continue;
        child.defaultLook = want;
        if (child.ownerDraw)
            ::InvalidateRect(child.hwnd, nullptr, FALSE);
        else
            ::SendMessageA(child.hwnd, BM_SETSTYLE, want ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

void FormWindow::Show() {
    if (hwnd_ == nullptr)
        return;
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    if (!::IsChild(hwnd_, ::GetFocus())) {
        HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
        ::SetFocus(first != nullptr ? first : hwnd_);
    }
    SyncDefaultLook();
    ::UpdateWindow(hwnd_);
}

void FormWindow::Hide() {
    if (hwnd_ != nullptr)
        ::ShowWindow(hwnd_, SW_HIDE);
}

bool FormWindow::TranslateKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || !alive_ || !::IsWindowEnabled(hwnd_))
        return false;
    if (message.wParam == VK_RETURN) {
        const Child* focused = ChildOf(::GetFocus());
        if (focused != nullptr && focused->control->Kind() == ControlKind::CommandButton) {
            Post(PendingAction::Kind::Click, focused->control->Name());
            return true;
        }
        if (const Control* button = DefaultButton()) {
            Post(PendingAction::Kind::Click, button->Name());
            return true;
        }
        return false;
    }
    if (message.wParam == VK_ESCAPE) {
        if (const Control* button = CancelButton()) {
            Post(PendingAction::Kind::Click, button->Name());
            return true;
        }
    }
    return false;
}

// --- Window procedure --------------------------------------------------------

LRESULT CALLBACK FormWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr || !self->alive_)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT FormWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        ::GetClientRect(hwnd_, &client);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client,
                   resources_.Brush(ToColorRef(form_.BackColor)));
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(hwnd_, &paint);
        Paint(dc);
        ::EndPaint(hwnd_, &paint);
        return 0;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (LRESULT brush =
                ControlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return brush;
        break;
    case WM_DRAWITEM:
        DrawOwnerButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (lParam == 0) {
            const Control* button = id == IDOK       ? DefaultButton()
                                    : id == IDCANCEL ? CancelButton()
                                                     : nullptr;
            if (button != nullptr)
                Post(PendingAction::Kind::Click, button->Name());
            return 0;
        }
        const Child* child = ChildById(id);
        if (child == nullptr)
            break;
        const Control& control = *child->control;
        if (control.Kind() == ControlKind::CommandButton && code == BN_CLICKED)
            Post(PendingAction::Kind::Click, control.Name());
        else if (control.Kind() == ControlKind::OptionButton && code == BN_CLICKED)
            Post(PendingAction::Kind::Set, control.Name());
        else if (IsList(control.Kind()) && code == LBN_SELCHANGE)
            Post(PendingAction::Kind::Select, control.Name(),
                 static_cast<int>(::SendMessageA(child->hwnd, LB_GETCURSEL, 0, 0)));
        return 0;
    }
    case WM_CLOSE: Post(PendingAction::Kind::Close, ""); return 0;
    case WM_SETCURSOR:
        if (SetCursorFor(reinterpret_cast<HWND>(wParam), LOWORD(lParam)))
            return TRUE;
        break;
    case WM_LBUTTONDOWN: {
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const Control* control = Windowless(point);
        pressedLabel_ = control != nullptr ? control->Name() : "";
        return 0;
    }
    case WM_LBUTTONUP: {
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const Control* control = Windowless(point);
        if (control != nullptr && control->Name() == pressedLabel_ && control->Enabled &&
            form_.HasHandler(control->Name(), "Click"))
            Post(PendingAction::Kind::Click, control->Name());
        pressedLabel_.clear();
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (::IsChild(hwnd_, focus))
                savedFocus_ = focus;
        } else if (::IsWindowEnabled(hwnd_) && ::GetActiveWindow() == hwnd_) {
            // (A late activation of a form that a message box has meanwhile
            // disabled must not take the keyboard from the box.)
            HWND focus = savedFocus_;
            if (focus == nullptr || !::IsWindow(focus) || !::IsWindowEnabled(focus) ||
                !::IsWindowVisible(focus))
                focus = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
            ::SetFocus(focus != nullptr ? focus : hwnd_);
        }
        return 0;
    case DM_GETDEFID:
        for (const Child& child : children_)
            if (child.control->IsDefault && child.control->Kind() == ControlKind::CommandButton)
                return MAKELRESULT(child.id, DC_HASDEFID);
        return 0;
    default: break;
    }
    return ::DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT FormWindow::ControlColours(HDC dc, HWND childWindow) {
    const Child* child = ChildOf(childWindow);
    if (child == nullptr)
        return 0;
    if (child->control->Kind() == ControlKind::CommandButton)
        return reinterpret_cast<LRESULT>(resources_.Brush(ToColorRef(form_.BackColor)));
    ::SetTextColor(dc, child->foreColour);
    ::SetBkColor(dc, child->backColour);
    return reinterpret_cast<LRESULT>(resources_.Brush(child->backColour));
}

bool FormWindow::SetCursorFor(HWND over, WORD hitTest) {
    if (hitTest != HTCLIENT)
        return false;
    if (screenPointer_ == PointerHourglass) {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        return true;
    }
    if (over != hwnd_)
        return false; // a control's own pointer
    POINT point;
    ::GetCursorPos(&point);
    ::ScreenToClient(hwnd_, &point);
    const Control* control = Windowless(point);
    if (control != nullptr && control->HandPointer) {
        ::SetCursor(resources_.HandCursor());
        return true;
    }
    if (form_.MousePointer == PointerArrowHourglass) {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_APPSTARTING)));
        return true;
    }
    if (form_.MousePointer == PointerHourglass) {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        return true;
    }
    return false;
}

// --- Painting ----------------------------------------------------------------

void FormWindow::Paint(HDC dc) {
    const auto& controls = form_.Controls();
    // Bottom of the stacking order first, so that upper controls cover
    // the panels behind them.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        if (!IsWindowed((*it)->Kind()) && ShownOnScreen(**it))
            PaintControl(dc, **it);
}

void FormWindow::PaintControl(HDC dc, const Control& control) {
    RECT rect = PixelRect(control);
    const COLORREF back = ToColorRef(control.BackColor);
    const COLORREF fore =
        control.Enabled ? ToColorRef(control.ForeColor) : ::GetSysColor(COLOR_GRAYTEXT);
    HGDIOBJ oldFont = ::SelectObject(dc, resources_.Font(control.Font));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, fore);

    switch (control.Kind()) {
    case ControlKind::Image: {
        HICON icon =
            form_.Name() == "ShortcutFrm" ? resources_.FoldersIcon() : resources_.ProgramIcon();
        // The icon's 32-pixel image is drawn at a whole multiple of its size
        // (crisp, never smoothed), centred in the control's scaled box.
        const int size = IconPixels * std::max(1, resources_.ScaledX(IconPixels) / IconPixels);
        const int x = rect.left + std::max(0, static_cast<int>(rect.right - rect.left) - size) / 2;
        const int y = rect.top + std::max(0, static_cast<int>(rect.bottom - rect.top) - size) / 2;
        if (icon != nullptr)
            ::DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
        break;
    }
    case ControlKind::Frame: {
        TEXTMETRICA metrics{};
        ::GetTextMetricsA(dc, &metrics);
        SIZE extent{0, 0};
        if (!control.Caption.empty())
            ::GetTextExtentPoint32A(dc, control.Caption.c_str(),
                                    static_cast<int>(control.Caption.size()), &extent);
        if (!control.BackTransparent)
            ::FillRect(dc, &rect, resources_.Brush(back));
        RECT border = rect;
        if (!control.Caption.empty())
            border.top += metrics.tmHeight / 2;
        ::DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
        if (!control.Caption.empty()) {
            const int indent = resources_.ScaledX(FrameCaptionIndent);
            const int margin = resources_.ScaledX(FrameCaptionMargin);
            RECT behind{rect.left + indent - margin, rect.top,
                        rect.left + indent + extent.cx + margin, rect.top + extent.cy};
            ::FillRect(dc, &behind, resources_.Brush(back));
            ::TextOutA(dc, rect.left + indent, rect.top, control.Caption.c_str(),
                       static_cast<int>(control.Caption.size()));
        }
        break;
    }
    default: { // label
        if (!control.BackTransparent)
            ::FillRect(dc, &rect, resources_.Brush(back));
        if (control.BorderSingle) {
            ::DrawEdge(dc, &rect, EDGE_SUNKEN, BF_RECT);
            ::InflateRect(&rect, -SunkenEdgePixels, -SunkenEdgePixels);
        }
        UINT format = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;
        format |= control.TextAlign == Alignment::Center  ? DT_CENTER
                  : control.TextAlign == Alignment::Right ? DT_RIGHT
                                                          : DT_LEFT;
        if (!control.Caption.empty())
            ::DrawTextA(dc, control.Caption.c_str(), static_cast<int>(control.Caption.size()),
                        &rect, format);
        break;
    }
    }
    ::SelectObject(dc, oldFont);
}

void FormWindow::DrawOwnerButton(const DRAWITEMSTRUCT& item) {
    const Child* child = ChildById(static_cast<int>(item.CtlID));
    if (child == nullptr)
        return;
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (child->defaultLook) {
        ::FrameRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::InflateRect(&rect, -1, -1);
    }
    ::FillRect(dc, &rect, resources_.Brush(child->backColour));
    ::DrawEdge(dc, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    char text[256] = {};
    ::GetWindowTextA(item.hwndItem, text, sizeof text);
    HGDIOBJ oldFont = ::SelectObject(dc, child->font);
    ::SetBkMode(dc, TRANSPARENT);
    RECT textRect = rect;
    if (pressed)
        ::OffsetRect(&textRect, 1, 1);
    constexpr UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (disabled) {
        // Engraved, as a greyed caption is drawn.
        RECT light = textRect;
        ::OffsetRect(&light, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextA(dc, text, -1, &light, format);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNSHADOW));
    } else {
        ::SetTextColor(dc, child->foreColour);
    }
    ::DrawTextA(dc, text, -1, &textRect, format);
    ::SelectObject(dc, oldFont);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = rect;
        ::InflateRect(&focus, -4, -4);
        ::DrawFocusRect(dc, &focus);
    }
}

} // namespace kestovan::forms::win32ui
