// A strict reader for one flat JSON object (string, number, true, false and null values), enough
// to check the result records line by line without trusting the writer's own code.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

struct TMiniJsonValue {
    enum EKind { STRING, NUMBER, BOOL, NUL } Kind = NUL;
    std::string Text;     // STRING: the decoded text; NUMBER: the literal; BOOL: "true"/"false"
    double Number = 0;
};
using TMiniJsonObject = std::map<std::string, TMiniJsonValue>;

class TMiniJson {
public:
    // Parses `text` as exactly one object; false with `error` set when it is not valid JSON.
    static bool ParseObject(const std::string& text, TMiniJsonObject& out, std::string& error)
    {
        TMiniJson p(text);
        out.clear();
        if (!p.Object(out)) {
            error = p.fError + " at offset " + std::to_string(p.fPos);
            return false;
        }
        p.Space();
        if (p.fPos != text.size()) {
            error = "text after the object at offset " + std::to_string(p.fPos);
            return false;
        }
        return true;
    }

private:
    explicit TMiniJson(const std::string& text)
        : fText(text)
    {
    }
    void Space()
    {
        while (fPos < fText.size() && (fText[fPos] == ' ' || fText[fPos] == '\t' || fText[fPos] == '\n' || fText[fPos] == '\r'))
            ++fPos;
    }
    bool Fail(const char* why)
    {
        fError = why;
        return false;
    }
    bool Eat(char c)
    {
        Space();
        if (fPos < fText.size() && fText[fPos] == c) {
            ++fPos;
            return true;
        }
        return false;
    }
    bool String(std::string& out)
    {
        if (!Eat('"'))
            return Fail("expected a string");
        while (fPos < fText.size()) {
            const char c = fText[fPos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (fPos >= fText.size())
                break;
            const char e = fText[fPos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (fPos + 4 > fText.size())
                    return Fail("short \\u escape");
                for (size_t i = 0; i < 4; ++i)
                    if (!std::isxdigit(static_cast<unsigned char>(fText[fPos + i])))
                        return Fail("bad \\u escape");
                const long code = std::strtol(fText.substr(fPos, 4).c_str(), nullptr, 16);
                fPos += 4;
                if (code >= 0x80)
                    return Fail("non-ASCII \\u escape (not needed here)");
                out += static_cast<char>(code);
                break;
            }
            default:
                return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }
    bool Value(TMiniJsonValue& v)
    {
        Space();
        if (fPos >= fText.size())
            return Fail("expected a value");
        if (fText[fPos] == '"') {
            v.Kind = TMiniJsonValue::STRING;
            return String(v.Text);
        }
        for (const char* word : {"true", "false", "null"}) {
            if (fText.compare(fPos, std::char_traits<char>::length(word), word) == 0) {
                fPos += std::char_traits<char>::length(word);
                v.Kind = word[0] == 'n' ? TMiniJsonValue::NUL : TMiniJsonValue::BOOL;
                v.Text = word;
                return true;
            }
        }
        // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
        const size_t start = fPos;
        auto digits = [this] {
            const size_t s = fPos;
            while (fPos < fText.size() && std::isdigit(static_cast<unsigned char>(fText[fPos])))
                ++fPos;
            return fPos - s;
        };
        if (fText[fPos] == '-')
            ++fPos;
        const size_t intStart = fPos;
        const size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && fText[intStart] == '0'))
            return Fail("bad number");
        if (fPos < fText.size() && fText[fPos] == '.') {
            ++fPos;
            if (digits() == 0)
                return Fail("bad fraction");
        }
        if (fPos < fText.size() && (fText[fPos] == 'e' || fText[fPos] == 'E')) {
            ++fPos;
            if (fPos < fText.size() && (fText[fPos] == '+' || fText[fPos] == '-'))
                ++fPos;
            if (digits() == 0)
                return Fail("bad exponent");
        }
        v.Kind = TMiniJsonValue::NUMBER;
        v.Text = fText.substr(start, fPos - start);
        v.Number = std::strtod(v.Text.c_str(), nullptr);
        return true;
    }
    bool Object(TMiniJsonObject& out)
    {
        if (!Eat('{'))
            return Fail("expected '{'");
        if (Eat('}'))
            return true;
        do {
            std::string key;
            Space();
            if (!String(key))
                return false;
            if (out.count(key) != 0)
                return Fail("duplicate key");
            if (!Eat(':'))
                return Fail("expected ':'");
            TMiniJsonValue v;
            if (!Value(v))
                return false;
            out[key] = v;
        } while (Eat(','));
        if (!Eat('}'))
            return Fail("expected ',' or '}'");
        return true;
    }

    const std::string& fText;
    size_t fPos = 0;
    std::string fError;
};
