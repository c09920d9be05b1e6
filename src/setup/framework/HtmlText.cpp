#include "HtmlText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace fw {

namespace {

constexpr size_t kDeclarationWindow = 4096;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsCharsetChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == ':';
}

// Valid UTF-8 with at least one multi-byte sequence.
bool LooksUtf8(const std::string& bytes) {
    bool multi = false;
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t extra;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > 0 && i + extra >= bytes.size())
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        multi = multi || extra > 0;
        i += extra + 1;
    }
    return multi;
}

// --- entities ---------------------------------------------------------------------

struct NamedEntity {
    const char* name;
    char32_t code;
};

const NamedEntity kEntities[] = {
    {"amp", 0x26},     {"lt", 0x3C},      {"gt", 0x3E},       {"quot", 0x22},     {"apos", 0x27},
    {"nbsp", 0xA0},    {"copy", 0xA9},    {"reg", 0xAE},      {"deg", 0xB0},      {"plusmn", 0xB1},
    {"sup2", 0xB2},    {"sup3", 0xB3},    {"micro", 0xB5},    {"middot", 0xB7},   {"frac12", 0xBD},
    {"times", 0xD7},   {"divide", 0xF7},  {"laquo", 0xAB},    {"raquo", 0xBB},    {"sect", 0xA7},
    {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bull", 0x2022},  {"hellip", 0x2026}, {"prime", 0x2032},  {"larr", 0x2190},
    {"uarr", 0x2191},  {"rarr", 0x2192},  {"darr", 0x2193},   {"harr", 0x2194},   {"minus", 0x2212},
    {"radic", 0x221A}, {"infin", 0x221E}, {"asymp", 0x2248},  {"ne", 0x2260},     {"le", 0x2264},
    {"ge", 0x2265},    {"Delta", 0x394},  {"Omega", 0x3A9},   {"alpha", 0x3B1},   {"beta", 0x3B2},
    {"delta", 0x3B4},  {"mu", 0x3BC},     {"pi", 0x3C0},      {"sigma", 0x3C3},   {"euro", 0x20AC},
    {"trade", 0x2122}, {"ensp", 0x2002},  {"emsp", 0x2003},   {"thinsp", 0x2009},
};

void AppendCodePoint(std::wstring& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0)
        c = 0xFFFD;
    if (c > 0xFFFF && sizeof(wchar_t) == 2) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

// The entity at html[at] ("&..."): its character and length, or false.
bool DecodeEntity(const std::wstring& html, size_t at, char32_t* code, size_t* length) {
    const size_t semi = html.find(L';', at + 1);
    if (semi == std::wstring::npos || semi - at > 32 || semi == at + 1)
        return false;
    const std::wstring body = html.substr(at + 1, semi - at - 1);
    *length = semi - at + 1;
    if (body[0] == L'#') {
        const bool hex = body.size() > 1 && (body[1] == L'x' || body[1] == L'X');
        const size_t first = hex ? 2 : 1;
        if (first >= body.size())
            return false;
        uint32_t value = 0;
        for (size_t i = first; i < body.size(); ++i) {
            const wchar_t c = body[i];
            int digit;
            if (c >= L'0' && c <= L'9')
                digit = c - L'0';
            else if (hex && c >= L'a' && c <= L'f')
                digit = c - L'a' + 10;
            else if (hex && c >= L'A' && c <= L'F')
                digit = c - L'A' + 10;
            else
                return false;
            value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(digit);
            if (value > 0x10FFFF)
                value = 0x110000; // stays out of range however long the digits run
        }
        *code = value;
        return true;
    }
    for (const NamedEntity& e : kEntities) {
        std::wstring name;
        for (const char* p = e.name; *p != '\0'; ++p)
            name += static_cast<wchar_t>(*p);
        if (name == body) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

// --- blocks ---------------------------------------------------------------------------

bool IsHtmlBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

// Blanks at both ends and around line breaks go.
std::wstring TrimBlanks(const std::wstring& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L' ' && (out.empty() || out.back() == L'\n' || out.back() == L'\t' ||
                             i + 1 == s.size() || s[i + 1] == L'\n' || s[i + 1] == L'\t'))
            continue;
        out += s[i];
    }
    while (!out.empty() && out.back() == L'\n')
        out.pop_back();
    return out;
}

class BlockBuilder {
public:
    std::vector<HtmlBlock> Build(const std::wstring& html) {
        m_html = &html;
        m_lowered = Lower(html);
        for (size_t i = 0; i < html.size();) {
            const wchar_t c = html[i];
            if (c == L'<' && i + 1 < html.size() &&
                (IsNameChar(html[i + 1]) || html[i + 1] == L'/' || html[i + 1] == L'!' ||
                 html[i + 1] == L'?')) {
                i = Tag(i);
                continue;
            }
            if (c == L'&') {
                char32_t code = 0;
                size_t length = 0;
                if (DecodeEntity(html, i, &code, &length)) {
                    std::wstring decoded;
                    AppendCodePoint(decoded, code);
                    for (wchar_t d : decoded)
                        Text(d);
                    i += length;
                    continue;
                }
            }
            Text(c);
            ++i;
        }
        EndRow();
        Flush();
        return std::move(m_blocks);
    }

private:
    struct List {
        bool ordered;
        int counter;
    };

    void Text(wchar_t c) {
        if (m_pre) {
            if (c == L'\r')
                return;
            if (c == L'\n' && m_text.empty() && m_justOpenedPre) {
                m_justOpenedPre = false;
                return; // the line break right after <pre> is not content
            }
            m_justOpenedPre = false;
            m_text += c;
            return;
        }
        if (IsHtmlBlank(c)) {
            if (!m_text.empty() && m_text.back() != L' ' && m_text.back() != L'\n')
                m_text += L' ';
            return;
        }
        m_text += c;
    }

    // Ends the text gathered so far as a block of the current kind.
    void Flush() {
        if (m_inRow) {
            // A row's cells end with the row; a block inside a cell is a blank.
            if (!m_text.empty() && m_text.back() != L' ')
                m_text += L' ';
            return;
        }
        const std::wstring text = m_pre ? m_text : TrimBlanks(m_text);
        m_text.clear();
        if (text.empty())
            return;
        HtmlBlock block;
        block.kind = m_kind;
        block.text = text;
        if (m_kind == HtmlBlockKind::ListItem) {
            block.number = m_itemNumber;
            block.depth = static_cast<int>(std::max<size_t>(m_lists.size(), 1));
        }
        m_blocks.push_back(block);
    }

    void EndCell() {
        if (!m_cellOpen)
            return;
        m_cells.push_back(TrimBlanks(m_text));
        m_text.clear();
        m_cellOpen = false;
    }

    void EndRow() {
        if (!m_inRow)
            return;
        EndCell();
        m_inRow = false;
        m_text.clear();
        bool any = false;
        std::wstring joined;
        for (size_t k = 0; k < m_cells.size(); ++k) {
            if (k > 0)
                joined += L'\t';
            joined += m_cells[k];
            any = any || !m_cells[k].empty();
        }
        m_cells.clear();
        if (!any)
            return;
        HtmlBlock block;
        block.kind = HtmlBlockKind::TableRow;
        block.text = joined;
        block.header = m_rowHeader;
        m_blocks.push_back(block);
    }

    // Skips to the end of the raw-text element (script, style, title).
    size_t SkipRaw(size_t from, const std::wstring& name) {
        const size_t end = m_lowered.find(L"</" + name, from);
        if (end == std::wstring::npos)
            return m_html->size();
        const size_t close = m_html->find(L'>', end);
        return close == std::wstring::npos ? m_html->size() : close + 1;
    }

    // Handles the tag at `at` ("<..."); returns the index after it.
    size_t Tag(size_t at) {
        const std::wstring& h = *m_html;
        if (h.compare(at, 4, L"<!--") == 0) {
            const size_t end = h.find(L"-->", at + 4);
            return end == std::wstring::npos ? h.size() : end + 3;
        }
        // The end of the tag: the first ">" outside quoted attribute values.
        size_t end = at + 1;
        wchar_t quote = 0;
        for (; end < h.size(); ++end) {
            if (quote != 0) {
                if (h[end] == quote)
                    quote = 0;
            } else if (h[end] == L'"' || h[end] == L'\'') {
                quote = h[end];
            } else if (h[end] == L'>') {
                break;
            }
        }
        const size_t next = end < h.size() ? end + 1 : h.size();
        if (h[at + 1] == L'!' || h[at + 1] == L'?')
            return next;
        const bool closing = h[at + 1] == L'/';
        size_t n = at + (closing ? 2 : 1);
        std::wstring name;
        while (n < h.size() && IsNameChar(h[n]))
            name += h[n++];
        name = Lower(name);
        if (!closing && (name == L"script" || name == L"style" || name == L"title"))
            return SkipRaw(next, name);
        Element(name, closing);
        return next;
    }

    void Element(const std::wstring& name, bool closing) {
        if (name.size() == 2 && name[0] == L'h' && name[1] >= L'1' && name[1] <= L'6') {
            Flush();
            m_kind = closing           ? HtmlBlockKind::Paragraph
                     : name[1] == L'1' ? HtmlBlockKind::Heading1
                     : name[1] == L'2' ? HtmlBlockKind::Heading2
                                       : HtmlBlockKind::Heading3;
        } else if (name == L"br") {
            if (m_inRow || m_pre)
                Text(m_pre ? L'\n' : L' ');
            else {
                while (!m_text.empty() && m_text.back() == L' ')
                    m_text.pop_back();
                m_text += L'\n';
            }
        } else if (name == L"ul" || name == L"ol" || name == L"dl") {
            Flush();
            if (!closing)
                m_lists.push_back(List{name == L"ol", 0});
            else if (!m_lists.empty())
                m_lists.pop_back();
            m_kind = m_lists.empty() ? HtmlBlockKind::Paragraph : HtmlBlockKind::ListItem;
        } else if (name == L"li" || name == L"dt" || name == L"dd") {
            Flush();
            if (!closing) {
                m_kind = HtmlBlockKind::ListItem;
                m_itemNumber = 0;
                if (!m_lists.empty() && m_lists.back().ordered && name == L"li")
                    m_itemNumber = ++m_lists.back().counter;
            }
        } else if (name == L"tr") {
            if (closing) {
                EndRow();
            } else {
                EndRow();
                Flush();
                m_inRow = true;
                m_rowHeader = false;
            }
        } else if (name == L"td" || name == L"th") {
            if (!m_inRow && closing)
                return;
            if (!m_inRow) {
                Flush();
                m_inRow = true;
                m_rowHeader = false;
            }
            EndCell();
            if (!closing) {
                m_text.clear();
                m_cellOpen = true;
                m_rowHeader = m_rowHeader || name == L"th";
            }
        } else if (name == L"table" || name == L"thead" || name == L"tbody" || name == L"tfoot") {
            EndRow();
            Flush();
        } else if (name == L"pre") {
            Flush();
            m_pre = !closing;
            m_justOpenedPre = m_pre;
            m_kind = m_pre ? HtmlBlockKind::Preformatted : HtmlBlockKind::Paragraph;
        } else if (name == L"p" || name == L"div" || name == L"hr" || name == L"blockquote" ||
                   name == L"section" || name == L"article" || name == L"header" ||
                   name == L"footer" || name == L"nav" || name == L"main" || name == L"aside" ||
                   name == L"figure" || name == L"figcaption" || name == L"address" ||
                   name == L"center" || name == L"form" || name == L"body" || name == L"caption") {
            Flush();
            if (m_kind != HtmlBlockKind::ListItem || m_lists.empty())
                m_kind = HtmlBlockKind::Paragraph;
        }
        // Everything else (b, code, a, span, img, meta, ...) is inline or empty.
    }

    const std::wstring* m_html = nullptr;
    std::wstring m_lowered;
    std::vector<HtmlBlock> m_blocks;
    std::wstring m_text;
    HtmlBlockKind m_kind = HtmlBlockKind::Paragraph;
    std::vector<List> m_lists;
    int m_itemNumber = 0;
    bool m_pre = false;
    bool m_justOpenedPre = false;
    bool m_inRow = false;
    bool m_cellOpen = false;
    bool m_rowHeader = false;
    std::vector<std::wstring> m_cells;
};

// --- rich text ------------------------------------------------------------------------

// Twips per character for the tab stops of a table's columns; a wide (CJK)
// character counts twice.
constexpr int kTwipsPerChar = 100;
constexpr int kColumnGap = 360;
// A long cell runs over its column rather than push the others off the view.
constexpr int kWidestColumn = 24;

int DisplayWidth(const std::wstring& s) {
    int w = 0;
    for (wchar_t c : s)
        w += c >= 0x1100 ? 2 : 1;
    return w;
}

std::vector<std::wstring> SplitCells(const std::wstring& row) {
    std::vector<std::wstring> cells(1);
    for (wchar_t c : row) {
        if (c == L'\t')
            cells.emplace_back();
        else
            cells.back() += c;
    }
    return cells;
}

void AppendRtfText(std::string& out, const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t c = static_cast<uint32_t>(text[i]);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\n') {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            continue;
        } else {
            std::wstring units;
            AppendCodePoint(units, static_cast<char32_t>(c));
            for (wchar_t u : units) {
                char code[16];
                std::snprintf(code, sizeof code, "\\u%d?",
                              static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>(u))));
                out += code;
            }
        }
    }
}

// Tab stops for the table whose rows start at blocks[first], with a hanging
// indent to the last column, where a long last cell wraps.
std::string TableTabStops(const std::vector<HtmlBlock>& blocks, size_t first) {
    std::vector<int> widths;
    for (size_t i = first; i < blocks.size() && blocks[i].kind == HtmlBlockKind::TableRow; ++i) {
        const std::vector<std::wstring> cells = SplitCells(blocks[i].text);
        if (widths.size() < cells.size())
            widths.resize(cells.size(), 0);
        for (size_t k = 0; k < cells.size(); ++k)
            widths[k] = std::max(widths[k], std::min(DisplayWidth(cells[k]), kWidestColumn));
    }
    std::string stops;
    int at = 0;
    for (size_t k = 0; k + 1 < widths.size(); ++k) {
        at += widths[k] * kTwipsPerChar + kColumnGap;
        stops += "\\tx" + std::to_string(at);
    }
    if (at > 0)
        stops = "\\li" + std::to_string(at) + "\\fi-" + std::to_string(at) + stops;
    return stops;
}

void AppendLines(std::wstring& out, const std::wstring& text, const std::wstring& indent) {
    out += indent;
    for (wchar_t c : text) {
        if (c == L'\n')
            out += L"\r\n" + indent;
        else
            out += c;
    }
    out += L"\r\n";
}

std::wstring ItemMark(const HtmlBlock& b) {
    return b.number > 0 ? std::to_wstring(b.number) + L". " : std::wstring(L"\x2022 ");
}

} // namespace

size_t ByteOrderMarkLength(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return 3;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        return 2;
    return 0;
}

unsigned CodePageOfCharset(const std::string& name) {
    std::string n;
    for (char c : name)
        n += LowerAscii(c);
    struct Known {
        const char* name;
        unsigned codePage;
    };
    static const Known kKnown[] = {
        {"utf-8", kCodePageUtf8},
        {"utf8", kCodePageUtf8},
        {"unicode-1-1-utf-8", kCodePageUtf8},
        {"gb2312", 936},
        {"gbk", 936},
        {"cp936", 936},
        {"x-gbk", 936},
        {"gb_2312-80", 936},
        {"euc-cn", 936},
        {"gb18030", 54936},
        {"big5", 950},
        {"shift_jis", 932},
        {"euc-kr", 949},
        {"iso-8859-1", 1252},
        {"latin1", 1252},
        {"us-ascii", 1252},
        {"ascii", 1252},
        {"windows-1250", 1250},
        {"windows-1251", 1251},
        {"windows-1252", 1252},
        {"windows-1253", 1253},
        {"windows-1254", 1254},
        {"koi8-r", 20866},
        {"utf-16", kCodePageUtf16Le},
        {"utf-16le", kCodePageUtf16Le},
        {"utf-16be", kCodePageUtf16Be},
    };
    for (const Known& k : kKnown)
        if (n == k.name)
            return k.codePage;
    return kCodePageSystem;
}

unsigned HtmlCodePage(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return kCodePageUtf8;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return kCodePageUtf16Le;
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return kCodePageUtf16Be;
    std::string head;
    for (size_t i = 0; i < bytes.size() && i < kDeclarationWindow; ++i)
        head += LowerAscii(bytes[i]);
    for (size_t at = head.find("charset"); at != std::string::npos;
         at = head.find("charset", at + 7)) {
        size_t i = at + 7;
        while (i < head.size() && (head[i] == ' ' || head[i] == '\t'))
            ++i;
        if (i >= head.size() || head[i] != '=')
            continue;
        ++i;
        while (i < head.size() && (head[i] == ' ' || head[i] == '"' || head[i] == '\''))
            ++i;
        std::string name;
        while (i < head.size() && IsCharsetChar(head[i]))
            name += head[i++];
        const unsigned codePage = CodePageOfCharset(name);
        // A page saved as UTF-16 cannot declare it in ASCII; such a claim is wrong.
        if (codePage != kCodePageSystem && codePage != kCodePageUtf16Le &&
            codePage != kCodePageUtf16Be)
            return codePage;
    }
    return LooksUtf8(bytes) ? kCodePageUtf8 : kCodePageSystem;
}

std::vector<HtmlBlock> HtmlToBlocks(const std::wstring& html) {
    return BlockBuilder().Build(html);
}

std::string BlocksToRtf(const std::vector<HtmlBlock>& blocks,
                        const std::vector<std::wstring>& notes) {
    std::string rtf = "{\\rtf1\\ansi\\deff0\\uc1"
                      "{\\fonttbl{\\f0\\fswiss Tahoma;}{\\f1\\fmodern Courier New;}}"
                      "{\\colortbl;\\red96\\green96\\blue96;}\\f0\\fs20\n";
    for (size_t i = 0; i < blocks.size(); ++i) {
        const HtmlBlock& b = blocks[i];
        switch (b.kind) {
        case HtmlBlockKind::Heading1:
            rtf += "\\pard\\sb60\\sa160\\b\\fs30 ";
            break;
        case HtmlBlockKind::Heading2:
            rtf += "\\pard\\sb200\\sa80\\b\\fs24 ";
            break;
        case HtmlBlockKind::Heading3:
            rtf += "\\pard\\sb160\\sa60\\b\\fs20 ";
            break;
        case HtmlBlockKind::Paragraph:
            rtf += "\\pard\\sa120 ";
            break;
        case HtmlBlockKind::ListItem:
            rtf += "\\pard\\li" + std::to_string(360 * b.depth) + "\\fi-240\\sa60 ";
            AppendRtfText(rtf, ItemMark(b));
            break;
        case HtmlBlockKind::TableRow: {
            size_t first = i;
            while (first > 0 && blocks[first - 1].kind == HtmlBlockKind::TableRow)
                --first;
            // The last row of a table keeps a paragraph's distance to what follows.
            const bool last =
                i + 1 == blocks.size() || blocks[i + 1].kind != HtmlBlockKind::TableRow;
            rtf += std::string(last ? "\\pard\\sa160" : "\\pard\\sa40") +
                   TableTabStops(blocks, first) + (b.header ? "\\b " : " ");
            break;
        }
        case HtmlBlockKind::Preformatted:
            rtf += "\\pard\\sa120\\f1\\fs18 ";
            break;
        }
        AppendRtfText(rtf, b.text);
        rtf += "\\plain\\f0\\fs20\\par\n";
    }
    for (size_t k = 0; k < notes.size(); ++k) {
        rtf += k == 0 ? "\\pard\\sb240\\cf1\\fs16 " : "\\pard\\cf1\\fs16 ";
        AppendRtfText(rtf, notes[k]);
        rtf += "\\plain\\f0\\fs20\\par\n";
    }
    rtf += "}";
    return rtf;
}

std::wstring BlocksToText(const std::vector<HtmlBlock>& blocks,
                          const std::vector<std::wstring>& notes) {
    std::wstring out;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const HtmlBlock& b = blocks[i];
        const bool tight =
            i > 0 &&
            ((b.kind == HtmlBlockKind::ListItem && blocks[i - 1].kind == HtmlBlockKind::ListItem) ||
             (b.kind == HtmlBlockKind::TableRow && blocks[i - 1].kind == HtmlBlockKind::TableRow));
        if (i > 0 && !tight)
            out += L"\r\n";
        switch (b.kind) {
        case HtmlBlockKind::Heading1:
        case HtmlBlockKind::Heading2:
        case HtmlBlockKind::Heading3:
            AppendLines(out, b.text, L"");
            out += std::wstring(static_cast<size_t>(std::min(DisplayWidth(b.text), 60)),
                                b.kind == HtmlBlockKind::Heading1 ? L'=' : L'-') +
                   L"\r\n";
            break;
        case HtmlBlockKind::ListItem:
            AppendLines(out,
                        std::wstring(static_cast<size_t>(2 * (b.depth - 1)), L' ') + ItemMark(b) +
                            b.text,
                        L"  ");
            break;
        case HtmlBlockKind::Preformatted:
            AppendLines(out, b.text, L"    ");
            break;
        default:
            AppendLines(out, b.text, L"");
            break;
        }
    }
    if (!notes.empty() && !out.empty())
        out += L"\r\n";
    for (const std::wstring& note : notes)
        AppendLines(out, note, L"");
    return out;
}

} // namespace fw
