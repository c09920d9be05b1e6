// Opens the setup window of the VT318 and the VT300 action from the library
// beside this program, as a host does, and checks that each help view shows
// its page: the heading of the page file first, not the notice of a page that
// cannot be read. The release package's check runs it from the unpacked
// package, where the help pages are the package's own.
//   package_help_check CONFIG
// One line per chip; exit status 0 when both show their page, 1 when one
// does not, 2 on a bad command line or a library that does not load.
#include "OmraHost.h"
#include "SetupUi.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// "无法读取帮助文件：", the notice of a page the view cannot read.
const wchar_t kUnreadable[] = L"\x65E0\x6CD5\x8BFB\x53D6\x5E2E\x52A9\x6587\x4EF6\xFF1A";
constexpr int kPagesPane = 0xE901;
constexpr int kFallbackText = 1;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text of the page's first <h1>; empty when it has none.
std::wstring Heading(const std::string& page) {
    const size_t open = page.find("<h1>");
    const size_t close = page.find("</h1>", open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    const std::string h = page.substr(open + 4, close - open - 4);
    return std::wstring(h.begin(), h.end());
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w)
        s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

std::wstring WindowText(HWND w) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(w, &text[0], static_cast<int>(text.size()))));
    return text;
}

// What the help view of the chip showed, read while Omra_Setup runs its
// window on this thread; empty with *why set when it could not be read.
std::wstring HelpViewText(host::Library& lib, uint32_t id, const std::string& config,
                          std::string* why) {
    const DWORD self = ::GetCurrentThreadId();
    std::wstring text;
    std::thread watcher([&] {
        setupui::Ui ui(self);
        if (!ui.Attach()) {
            *why = "the setup window did not open";
            ui.ForceClose();
            return;
        }
        ui.ClickBar(ui.ItemPoint(0, 0));
        if (!ui.WaitPage(setupui::Page::HtmlHelp)) {
            *why = std::string("the bar's first item showed ") +
                   setupui::PageName(ui.VisiblePage()) + ", not the help view";
        } else if (HWND shown =
                       ::GetDlgItem(::GetDlgItem(ui.Splitter(), kPagesPane), kFallbackText)) {
            text = WindowText(shown);
        } else {
            *why = "the help view has no text window (a browser control shows it)";
        }
        ui.Press(IDCANCEL);
        if (!ui.WaitClosed())
            ui.ForceClose();
    });
    lib.Setup(id, config.c_str());
    watcher.join();
    return text;
}

// Why the view's text is not the page's; empty when it is.
std::string Judge(const std::string& page, const std::wstring& heading, const std::wstring& shown) {
    const bool notice = shown.find(kUnreadable) != std::wstring::npos;
    if (heading.empty())
        return "the page " + page + " cannot be read or has no heading" +
               (notice ? "; the view shows the notice of a page it cannot read" : "");
    if (notice)
        return "it shows the notice of a page it cannot read: " + Narrow(shown);
    if (shown.compare(0, heading.size(), heading) != 0)
        return "it does not start with the page's heading: " + Narrow(shown.substr(0, 120));
    return {};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: package_help_check CONFIG\n");
        return 2;
    }
    host::Library lib;
    const std::string path = host::DefaultLibraryPath();
    if (!lib.Load(path)) {
        std::printf("FAILED: %s\n", lib.Error().c_str());
        return 2;
    }
    const std::string folder = path.substr(0, path.find_last_of('\\'));
    const struct {
        uint32_t id;
        const char* chip;
        const char* page;
    } chips[] = {{OMRA_ACTION_VT318, "VT318", "Vt318.htm"},
                 {OMRA_ACTION_VT300, "VT300", "VT300.htm"}};
    int failed = 0;
    for (const auto& c : chips) {
        const std::string page = folder + "\\Html\\AFC\\VANTOR\\" + c.page;
        const std::wstring heading = Heading(ReadFile(page));
        std::string why;
        const std::wstring shown = HelpViewText(lib, c.id, argv[1], &why);
        if (why.empty())
            why = Judge(page, heading, shown);
        if (why.empty()) {
            std::printf("%s help view: shows %s (\"%s\", %zu characters)\n", c.chip, page.c_str(),
                        Narrow(heading).c_str(), shown.size());
        } else {
            std::printf("FAILED: %s help view: %s\n", c.chip, why.c_str());
            ++failed;
        }
    }
    lib.Cleanup();
    return failed == 0 ? 0 : 1;
}
