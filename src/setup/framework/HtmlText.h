// A help page as readable text where no browser can show it: the page's code
// page, its blocks (headings, paragraphs, list items, table rows) with the
// tags removed and the entities decoded, and the rich text that shows them.
// No window code, so it is tested natively.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fw {

// Code pages the text view decodes itself; any other goes to the system.
constexpr unsigned kCodePageSystem = 0; // the system's ANSI code page
constexpr unsigned kCodePageUtf16Le = 1200;
constexpr unsigned kCodePageUtf16Be = 1201;
constexpr unsigned kCodePageUtf8 = 65001;

// The code page of a page's bytes: its byte-order mark, else the charset it
// declares in its first 4 KB, else UTF-8 for text that is valid UTF-8 with
// non-ASCII bytes, else the system's code page.
unsigned HtmlCodePage(const std::string& bytes);
// The code page of a charset name ("utf-8", "gb2312", "windows-1252", ...);
// kCodePageSystem for a name it does not know.
unsigned CodePageOfCharset(const std::string& name);
// Length of the byte-order mark the bytes begin with (0 when none).
size_t ByteOrderMarkLength(const std::string& bytes);

enum class HtmlBlockKind {
    Heading1,
    Heading2,
    Heading3,
    Paragraph,
    ListItem,
    TableRow,
    Preformatted
};

struct HtmlBlock {
    HtmlBlockKind kind = HtmlBlockKind::Paragraph;
    // Blanks collapsed; "\n" for a line break; "\t" between table cells.
    std::wstring text;
    int number = 0;      // list item of an ordered list: its number; 0 for a bullet
    int depth = 0;       // list item: 1 for a top-level list
    bool header = false; // table row of header cells
};

// The blocks of an HTML text: tags removed, the contents of head-only
// elements (title, style, script) dropped, entities decoded.
std::vector<HtmlBlock> HtmlToBlocks(const std::wstring& html);

// Rich text (RTF) of the blocks, then the notes in small grey print.
std::string BlocksToRtf(const std::vector<HtmlBlock>& blocks,
                        const std::vector<std::wstring>& notes);
// The same as plain text with "\r\n" line ends, for a plain edit control.
std::wstring BlocksToText(const std::vector<HtmlBlock>& blocks,
                          const std::vector<std::wstring>& notes);

} // namespace fw
