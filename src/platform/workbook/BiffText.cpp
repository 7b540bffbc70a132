// Text in the BIFF stream: strings inside one record (BIFF8 UTF-16 or 8-bit characters, BIFF5
// text in the workbook's code page, converted with GLib), and the rich strings of the shared
// string table that run over CONTINUE records. All of it comes out as UTF-8.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"
#include "platform/workbook/Utf8.h"

#include <glib.h>

#include <cstdio>

namespace rostrel::workbook::xls {

namespace {

// UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        appendUtf8(out, u);
    }
    return out;
}

} // namespace

// Reads an XLUnicodeRichExtendedString (BIFF8) at the reader's position.
bool readRichString(ContinuedReader& r, std::string& text, bool* plain) {
    uint16_t cch;
    uint8_t flags;
    if (!r.u16(cch) || !r.u8(flags))
        return false;
    uint16_t runs = 0;
    uint32_t phonetic = 0;
    if ((flags & 0x08) && !r.u16(runs))
        return false;
    if ((flags & 0x04) && !r.u32(phonetic))
        return false;
    std::u16string units;
    if (!r.chars(cch, (flags & 0x01) != 0, units))
        return false;
    if (!r.skip(4ull * runs + phonetic))
        return false;
    text = utf16ToUtf8(units);
    if (plain)
        *plain = (flags & 0x0C) == 0;
    return true;
}

std::string Book::decode8(const uint8_t* p, size_t n) const {
    std::string out;
    bool ascii = true;
    for (size_t i = 0; i < n; ++i)
        ascii = ascii && p[i] < 0x80;
    if (ascii)
        return std::string(reinterpret_cast<const char*>(p), n);
    const char* charset = nullptr;
    char name[16];
    switch (codePage_) {
    case 367:
        charset = "ASCII";
        break;
    case 1200:
        charset = "UTF-16LE";
        break;
    case 10000:
    case 32768:
        charset = "MACINTOSH";
        break;
    case 32769:
    case 1252:
        charset = "CP1252";
        break;
    default:
        std::snprintf(name, sizeof name, "CP%d", codePage_);
        charset = name;
    }
    gsize written = 0;
    gchar* conv = g_convert(reinterpret_cast<const gchar*>(p), static_cast<gssize>(n), "UTF-8", charset, nullptr,
                            &written, nullptr);
    if (conv) {
        out.assign(conv, written);
        g_free(conv);
        return out;
    }
    for (size_t i = 0; i < n; ++i) // unknown code page: Latin-1
        appendUtf8(out, p[i]);
    return out;
}

// A byte-counted or character-counted string inside one record (BIFF8 flags byte, or BIFF5
// 8-bit text). `lenBytes` is the size of the count field.
bool Book::readShortString(const uint8_t* p, size_t avail, int lenBytes, std::string& out) const {
    if (avail < static_cast<size_t>(lenBytes))
        return false;
    const uint32_t cch = lenBytes == 1 ? p[0] : rd16(p);
    p += lenBytes;
    avail -= lenBytes;
    if (biff_ == 5) {
        if (avail < cch)
            return false;
        out = decode8(p, cch);
        return true;
    }
    if (avail < 1)
        return false;
    const uint8_t flags = p[0];
    ++p;
    --avail;
    if (flags & 0x08) { // rich-text run count
        if (avail < 2)
            return false;
        p += 2;
        avail -= 2;
    }
    if (flags & 0x04) { // phonetic size
        if (avail < 4)
            return false;
        p += 4;
        avail -= 4;
    }
    std::u16string units;
    if (flags & 0x01) {
        if (avail < 2ull * cch)
            return false;
        for (uint32_t i = 0; i < cch; ++i)
            units.push_back(static_cast<char16_t>(rd16(p + 2 * i)));
    } else {
        if (avail < cch)
            return false;
        for (uint32_t i = 0; i < cch; ++i)
            units.push_back(static_cast<char16_t>(p[i]));
    }
    out = utf16ToUtf8(units);
    return true;
}

} // namespace rostrel::workbook::xls
