#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/ini_text.h"

namespace {

using Sections = std::vector<IniSection>;

Sections Parse(const std::string& text) { return ini::ParseText(text); }

// A readable form of a document: [name]{key=value}{key=value}...
std::string Describe(const Sections& sections) {
    std::string out;
    for (const IniSection& section : sections) {
        out += "[" + section.name + "]";
        for (const IniEntry& entry : section.entries) {
            out += "{" + entry.key + "=" + entry.value + "}";
        }
    }
    return out;
}

// The written text; "refused" when the writer refuses the document.
std::string Format(const Sections& doc) {
    std::string text;
    return ini::FormatText(doc, text) ? text : "refused";
}

std::string Roundtrip(const std::string& text) { return Format(Parse(text)); }

TEST(IniText, LayoutOfWrittenDocument) {
    Sections doc = {{"a", {{"k", "v"}, {"", ""}}}, {"empty", {}}, {"b", {{"x", "1"}}}};
    EXPECT_EQ(Format(doc), "[a]\r\nk=v\r\n=\r\n\r\n[empty]\r\n\r\n[b]\r\nx=1\r\n");
    EXPECT_EQ(Format({}), "");
    EXPECT_EQ(Format({{"only", {}}}), "[only]\r\n");
    EXPECT_EQ(Format({{"s\r", {{"k\r", "a\rb\r"}}}}), "[s\r]\r\nk\r=a\rb\r\r\n");
}

// Keys that would read back as a comment or a header are left out; any other
// text that would read back as something else is refused.
TEST(IniText, WriterLeavesOutOrRefusesWhatWouldReadBackAsAnother) {
    Sections doc = {{"s", {{";c", "1"}, {"[h", "2"}, {"k", "3"}}}, {"t", {{"j", "4"}}}};
    EXPECT_EQ(Format(doc), "[s]\r\nk=3\r\n\r\n[t]\r\nj=4\r\n");
    const Sections refused[] = {
        {{"s", {{"k", "600\nheight=1"}}}},
        {{"s", {{"k", "v\x1a"}}}},
        {{"s", {{"a=b", "v"}}}},
        {{"s", {{"k\n", "v"}}}},
        {{"a]b", {}}},
        {{"a\nb", {}}},
        {{";s", {}}},
        {{"[s", {}}},
        {{"s\x1a", {}}},
    };
    for (const Sections& bad : refused) {
        EXPECT_EQ(Format(bad), "refused") << Describe(bad);
    }
}

TEST(IniText, NothingIsTrimmedAndOnlyTheFirstEqualsSplits) {
    EXPECT_EQ(Describe(Parse("[ d i ]\nwidth = 800 \na=b=c\n=v\nk=\n")),
              "[ d i ]{width = 800 }{a=b=c}{=v}{k=}");
}

TEST(IniText, CommentsBlankLinesAndEntriesBeforeTheFirstHeaderVanish) {
    const std::string text = "k0=v0\n;c\n\n[s]\n; x=y\n\n\nk=v;not a comment\n[t]\n;\n";
    EXPECT_EQ(Describe(Parse(text)), "[s]{k=v;not a comment}[t]");
    EXPECT_EQ(Roundtrip(text), "[s]\r\nk=v;not a comment\r\n\r\n[t]\r\n");
}

TEST(IniText, TextWithoutEqualsJoinsTheNextKey) {
    EXPECT_EQ(Describe(Parse("[s]\nnoequals\nwidth=800\n")), "[s]{noequalswidth=800}");
    EXPECT_EQ(Describe(Parse("[display] x\nwidth=800\n")), "[display]{ xwidth=800}");
    // A following header throws pending key text away.
    EXPECT_EQ(Describe(Parse("[s]\npending\n[t]\nk=v")), "[s][t]{k=v}");
}

TEST(IniText, EntryIsCommittedIntoTheSectionItWasReadIn) {
    EXPECT_EQ(Describe(Parse("[a]\nk=v\n[b]\n")), "[a]{k=v}[b]");
    EXPECT_EQ(Describe(Parse("[a]\nk=v\n\n\n;c\nj=w")), "[a]{k=v}{j=w}");
}

TEST(IniText, DuplicateSectionsAndKeysAreAllKept) {
    const std::string text = "[misc]\nk=1\nk=2\n[misc]\nk=3\n";
    EXPECT_EQ(Describe(Parse(text)), "[misc]{k=1}{k=2}[misc]{k=3}");
    EXPECT_EQ(Roundtrip(text), "[misc]\r\nk=1\r\nk=2\r\n\r\n[misc]\r\nk=3\r\n");
}

TEST(IniText, HeaderEdgeCases) {
    // Unclosed header runs across lines, skipping comment lines.
    EXPECT_EQ(Describe(Parse("[ab\n;c]\ncd]k=v\n")), "[abcd]{k=v}");
    // Still open at the end: no section.
    EXPECT_EQ(Describe(Parse("[a]\nk=v\n[open")), "[a]{k=v}");
    // ';' or '[' right after a line-opening '[' again starts a line.
    EXPECT_EQ(Describe(Parse("[;x]\n[s]\n")), "[s]");
    EXPECT_EQ(Describe(Parse("[[s]\n")), "[s]");
    EXPECT_EQ(Describe(Parse("[a=b;c]\n")), "[a=b;c]");
    EXPECT_EQ(Describe(Parse("[]\n=\n")), "[]{=}");
    // After the ']' everything goes to the first key, ']' included.
    EXPECT_EQ(Describe(Parse("[s]x]y=1\n")), "[s]{x]y=1}");
    // An editor's byte-order mark before the first header is not text.
    EXPECT_EQ(Describe(Parse("\xef\xbb\xbf[s]\nk=v")), "[s]{k=v}");
    EXPECT_EQ(Describe(Parse("[s]\n\xef\xbb\xbfk=v")), "[s]{\xef\xbb\xbfk=v}");
}

TEST(IniText, LastLineWithoutLineEndIsRead) {
    EXPECT_EQ(Describe(Parse("[s]\nk=v")), "[s]{k=v}");
    EXPECT_EQ(Describe(Parse("[s]\r\nk=v\r")), "[s]{k=v\r}");
}

TEST(IniText, LineEndsFoldLikeTextMode) {
    EXPECT_EQ(Describe(Parse("[s]\r\nk=v\r\nj=w\r\n")), Describe(Parse("[s]\nk=v\nj=w\n")));
    // A lone CR is an ordinary character; only the CR right before LF goes.
    EXPECT_EQ(Describe(Parse("[s]\nk=a\rb\r\r\n")), "[s]{k=a\rb\r}");
    EXPECT_EQ(Describe(Parse("[s]\r\r\nk=v")), "[s]{\rk=v}");
}

TEST(IniText, CtrlZEndsTheText) {
    EXPECT_EQ(Describe(Parse(std::string("[s]\nk=v\x1a\nj=w\n"))), "[s]{k=v}");
    EXPECT_EQ(Describe(Parse(std::string("[s]\nk=v\r\x1a"))), "[s]{k=v\r}");
    EXPECT_EQ(Describe(Parse(std::string("\x1a[s]\n"))), "");
}

TEST(IniText, NulBytesArePartOfTheText) {
    const std::string text("[s\0t]\nk\0=v\0w\n", 13);
    const Sections doc = Parse(text);
    ASSERT_EQ(doc.size(), 1U);
    EXPECT_EQ(doc[0].name, std::string("s\0t", 3));
    ASSERT_EQ(doc[0].entries.size(), 1U);
    EXPECT_EQ(doc[0].entries[0].value, std::string("v\0w", 3));
}

}  // namespace
