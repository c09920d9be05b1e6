// A help page as text where no browser can show it: its code page, its
// blocks with tags removed and entities decoded, and the rich and plain text
// made of them.
#include "HtmlText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fw;

namespace {

std::vector<std::wstring> Texts(const std::vector<HtmlBlock>& blocks) {
    std::vector<std::wstring> out;
    for (const HtmlBlock& b : blocks)
        out.push_back(b.text);
    return out;
}

} // namespace

TEST(HtmlCodePage, MarkThenDeclarationThenContent) {
    struct Case {
        std::string bytes;
        unsigned codePage;
    } cases[] = {
        {"\xEF\xBB\xBF<p>x</p>", kCodePageUtf8},
        {"\xFF\xFE<\0p\0", kCodePageUtf16Le},
        {"\xFE\xFF\0<\0p", kCodePageUtf16Be},
        // The mark wins over what the page claims.
        {"\xEF\xBB\xBF<meta charset=\"gb2312\">", kCodePageUtf8},
        {"<meta charset=\"GB2312\"><p>\xC4\xE3</p>", 936},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">", 936},
        {"<META CONTENT='text/html;charset = UTF-8'>\xC4\xE3", kCodePageUtf8},
        {"<meta charset=windows-1252>", 1252},
        {"<meta charset=big5>", 950},
        // A claim of UTF-16 in ASCII bytes cannot be true; the content decides.
        {"<meta charset=\"utf-16\"><p>plain</p>", kCodePageSystem},
        {"<meta charset=\"x-unknown\"><p>\xE4\xBD\xA0</p>", kCodePageUtf8},
        // Undeclared: valid UTF-8 with non-ASCII bytes, else the system's.
        {"<p>\xE4\xBD\xA0\xE5\xA5\xBD</p>", kCodePageUtf8},
        {"<p>\xC4\xE3\xBA\xC3</p>", kCodePageSystem},
        {"<p>plain ASCII</p>", kCodePageSystem},
        {"<p>cut \xE4\xBD", kCodePageSystem},
        {"", kCodePageSystem},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.codePage, HtmlCodePage(c.bytes)) << c.bytes;
    EXPECT_EQ(3u, ByteOrderMarkLength("\xEF\xBB\xBFx"));
    EXPECT_EQ(2u, ByteOrderMarkLength(std::string("\xFF\xFE\0", 3)));
    EXPECT_EQ(0u, ByteOrderMarkLength("<html>"));
}

TEST(HtmlToBlocks, HeadingsParagraphsAndHeadOnlyContentDropped) {
    const std::vector<HtmlBlock> blocks = HtmlToBlocks(
        L"<!DOCTYPE html><html><head><title>Not shown</title>"
        L"<style>p { color: red; }</style><script>if (a < b) x();</script></head>\n"
        L"<body><!-- a <p>comment</p> -->\n<h1 class=\"t\">VT318  crystal\n AFC</h1>"
        L"<p>  First\tparagraph, <b>bold</b>\r\n and <a href=\"x>y\">a link</a>.  </p>"
        L"<h2>Second</h2>Loose text<br>next line<h4>Small</h4><div>a &lt; b</div></body>");
    ASSERT_EQ(6u, blocks.size());
    EXPECT_EQ(HtmlBlockKind::Heading1, blocks[0].kind);
    EXPECT_EQ(L"VT318 crystal AFC", blocks[0].text);
    EXPECT_EQ(HtmlBlockKind::Paragraph, blocks[1].kind);
    EXPECT_EQ(L"First paragraph, bold and a link.", blocks[1].text);
    EXPECT_EQ(HtmlBlockKind::Heading2, blocks[2].kind);
    EXPECT_EQ(L"Loose text\nnext line", blocks[3].text);
    EXPECT_EQ(HtmlBlockKind::Heading3, blocks[4].kind);
    EXPECT_EQ(L"a < b", blocks[5].text);
}

TEST(HtmlToBlocks, EntitiesDecodedAndUnknownOnesKept) {
    const std::vector<HtmlBlock> blocks = HtmlToBlocks(
        L"<p>CDAC&nbsp;&nbsp;&nbsp;&nbsp;Range 55 &minus; 8 &times; 0.125 &le; 63 &amp;&amp; "
        L"&#x3B1;&#946;&#X20AC; &quot;q&quot;</p>"
        L"<p>&unknown; & alone &#; &#xZZ; &#0; &#1114112; &#99999999999999;</p>");
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(
        L"CDAC\xA0\xA0\xA0\xA0Range 55 \x2212 8 \xD7 0.125 \x2264 63 && \x3B1\x3B2\x20AC \"q\"",
        blocks[0].text);
    EXPECT_EQ(L"&unknown; & alone &#; &#xZZ; \xFFFD \xFFFD \xFFFD", blocks[1].text);
    // Beyond the basic plane: a surrogate pair where wchar_t has 16 bits.
    const std::wstring smile = HtmlToBlocks(L"<p>&#x1F600;</p>")[0].text;
    if (sizeof(wchar_t) == 2)
        EXPECT_EQ(std::wstring(L"\xD83D\xDE00"), smile);
    else
        EXPECT_EQ(1u, smile.size());
}

TEST(HtmlToBlocks, ListsNumberedPerListAndNested) {
    const std::vector<HtmlBlock> blocks =
        HtmlToBlocks(L"<ol><li>one</li><li>two<ul><li>inner</li></ul></li><li>three</ol>"
                     L"<ul><li>bullet</li></ul><p>after</p><ol><li>again</li></ol>");
    ASSERT_EQ(7u, blocks.size());
    const int numbers[] = {1, 2, 0, 3, 0, 0, 1};
    const int depths[] = {1, 1, 2, 1, 1, 0, 1};
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(numbers[i], blocks[i].number) << i;
        EXPECT_EQ(depths[i], blocks[i].depth) << i;
    }
    EXPECT_EQ(HtmlBlockKind::Paragraph, blocks[5].kind);
    EXPECT_EQ(L"three", blocks[3].text);
}

TEST(HtmlToBlocks, TableRowsAndPreformattedText) {
    const std::vector<HtmlBlock> blocks = HtmlToBlocks(
        L"<table><tr><th>Key</th><th>Default</th></tr>\n<tr><td> PCL </td><td>10</td></tr>"
        L"<tr><td></td><td></td></tr><tr><td><p>in</p>cell</td><td></td></tr></table>"
        L"<pre>\n  a  b\r\n    c\n</pre><p>x</p>");
    ASSERT_EQ(5u, blocks.size());
    EXPECT_EQ(HtmlBlockKind::TableRow, blocks[0].kind);
    EXPECT_TRUE(blocks[0].header);
    EXPECT_EQ(L"Key\tDefault", blocks[0].text);
    EXPECT_FALSE(blocks[1].header);
    EXPECT_EQ(L"PCL\t10", blocks[1].text);
    EXPECT_EQ(L"in cell\t", blocks[2].text); // the empty row is gone
    EXPECT_EQ(HtmlBlockKind::Preformatted, blocks[3].kind);
    EXPECT_EQ(L"  a  b\n    c\n", blocks[3].text);
    EXPECT_EQ(L"x", blocks[4].text);
}

TEST(HtmlToBlocks, BrokenMarkupEndsCleanly) {
    for (const wchar_t* html :
         {L"", L"<", L"<p", L"<p>text<", L"<!-- open", L"<script>never closed", L"&", L"&#x",
          L"<a href='unclosed>text", L"</p></ol></li></tr></td></pre>", L"<td>cell"}) {
        const std::vector<HtmlBlock> blocks = HtmlToBlocks(html);
        for (const HtmlBlock& b : blocks)
            EXPECT_FALSE(b.text.empty()) << html;
    }
    EXPECT_EQ(std::vector<std::wstring>{L"text<"}, Texts(HtmlToBlocks(L"<p>text<")));
    EXPECT_EQ(std::vector<std::wstring>{L"cell"}, Texts(HtmlToBlocks(L"<td>cell")));
}

TEST(BlocksToRtf, EscapesFormatsAndNotesInSmallPrint) {
    std::vector<HtmlBlock> blocks = HtmlToBlocks(L"<h1>T{i}t\\le</h1><p>\x8BF7 \xA0 x</p>"
                                                 L"<ol><li>a</li></ol><table><tr><th>Key</th>"
                                                 L"<th>V</th></tr></table>");
    const std::string rtf = BlocksToRtf(blocks, {L"note \x5E2E", L"C:\\x.htm"});
    EXPECT_EQ(0u, rtf.find("{\\rtf1"));
    EXPECT_EQ('}', rtf.back());
    EXPECT_NE(std::string::npos, rtf.find("\\b\\fs30 T\\{i\\}t\\\\le\\plain"));
    // U+8BF7 is above 0x7FFF: a negative 16-bit number, as rich text wants it.
    EXPECT_NE(std::string::npos, rtf.find("\\u-29705? \\u160? x"));
    EXPECT_NE(std::string::npos, rtf.find("1. a"));
    EXPECT_NE(std::string::npos, rtf.find("\\b Key\\tab V"));
    const size_t note = rtf.find("\\fs16 note \\u24110?");
    ASSERT_NE(std::string::npos, note);
    EXPECT_GT(note, rtf.find("Key"));
    EXPECT_NE(std::string::npos, rtf.find("\\fs16 C:\\\\x.htm", note));
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
            continue;
        }
        depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(0, depth) << "groups balanced";
}

TEST(BlocksToText, PlainTextForAnEditControl) {
    const std::wstring text = BlocksToText(
        HtmlToBlocks(L"<h1>Title</h1><p>One<br>two</p><ul><li>a</li><li>b</li></ul>"), {L"note"});
    EXPECT_EQ(L"Title\r\n=====\r\n\r\nOne\r\ntwo\r\n\r\n  \x2022 a\r\n  \x2022 b\r\n\r\nnote\r\n",
              text);
}
