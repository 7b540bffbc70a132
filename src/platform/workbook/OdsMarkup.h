// Pieces of XML text that the OpenDocument writer puts together: a start tag changed one
// attribute at a time, escaped text, and text cut to the characters XML can carry. Internal to
// the writer.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook::ods::detail {

// A start tag taken apart just enough to change one attribute and put it back together;
// attribute values stay as written (escaped, in their quotes).
struct Tag {
    std::string name;
    struct Attr {
        std::string name, value;
        char quote = '"';
    };
    std::vector<Attr> attrs;

    static Tag parse(std::string_view s) {
        Tag t;
        size_t i = 1;
        auto isWs = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
        while (i < s.size() && !isWs(s[i]) && s[i] != '/' && s[i] != '>')
            t.name.push_back(s[i++]);
        for (;;) {
            while (i < s.size() && isWs(s[i]))
                ++i;
            if (i >= s.size() || s[i] == '/' || s[i] == '>')
                break;
            Attr a;
            while (i < s.size() && !isWs(s[i]) && s[i] != '=')
                a.name.push_back(s[i++]);
            while (i < s.size() && (isWs(s[i]) || s[i] == '='))
                ++i;
            if (i >= s.size())
                break;
            a.quote = s[i++];
            const size_t close = s.find(a.quote, i);
            if (close == std::string_view::npos)
                break;
            a.value = std::string(s.substr(i, close - i));
            i = close + 1;
            t.attrs.push_back(std::move(a));
        }
        return t;
    }

    const Attr* find(const std::string& n) const {
        for (const Attr& a : attrs)
            if (a.name == n)
                return &a;
        return nullptr;
    }
    void set(const std::string& n, const std::string& v) {
        for (Attr& a : attrs)
            if (a.name == n) {
                a.value = v;
                a.quote = '"';
                return;
            }
        attrs.push_back({n, v, '"'});
    }
    void remove(const std::string& n) {
        attrs.erase(std::remove_if(attrs.begin(), attrs.end(), [&](const Attr& a) { return a.name == n; }),
                    attrs.end());
    }
    std::string render(bool empty) const {
        std::string out = "<" + name;
        for (const Attr& a : attrs)
            out += " " + a.name + "=" + a.quote + a.value + a.quote;
        out += empty ? "/>" : ">";
        return out;
    }
};

// Text for an element (`attribute` false) or an attribute value: & < > (and ") escaped.
std::string escape(std::string_view s, bool attribute);
// UTF-8 with every character XML 1.0 can carry; anything else is dropped or, for broken
// sequences, replaced by U+FFFD.
std::string xmlSafe(const std::string& s);

} // namespace rostrel::workbook::ods::detail
