#pragma once

// The escapes of the stand-in's script and record files: \n \r \t \\ and \xHH
// keep every byte of a text on one line. Shared by the stand-in and the test
// support that writes its scripts and reads its records.

#include <string>

namespace standin {

inline std::string escape(const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else if (c == '\t')
            escaped += "\\t";
        else if (byte < 0x20 || byte >= 0x7f)
            escaped += std::string("\\x") + hex[byte >> 4] + hex[byte & 0xf];
        else
            escaped += c;
    }
    return escaped;
}

// False for a malformed escape.
inline bool unescape(const std::string &text, std::string &plain)
{
    plain.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        case 't':
            plain += '\t';
            break;
        case '\\':
            plain += '\\';
            break;
        case 'x': {
            const std::string digits = text.substr(i + 1, 2);
            if (digits.size() != 2 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return false;
            plain += static_cast<char>(std::stoi(digits, nullptr, 16));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace standin
