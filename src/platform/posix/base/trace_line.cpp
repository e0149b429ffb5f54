#include "platform/posix/base/trace_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/base/line_diverter.h"
#include "platform/posix/base/fd_io.h"

int TraceFd = TraceNotStarted;

namespace {

bool Holding = false;
std::string Held;

} // namespace

void HoldTrace()
{
    Holding = TraceFd > STDERR_FILENO;
}

void ReleaseTrace()
{
    if (Holding && TraceFd > STDERR_FILENO && !Held.empty())
        WriteAll(TraceFd, Held.data(), Held.size());
    DropHeldTrace();
}

void DropHeldTrace()
{
    Holding = false;
    Held.clear();
}

bool TraceSettingIsStderr()
{
    const char *setting = std::getenv("DOROVIVI_TRACE");
    return setting != nullptr && std::strcmp(setting, "-") == 0;
}

namespace {

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at)
{
    auto byte = [&](std::size_t i) { return at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u; };
    unsigned lead = byte(0), second = byte(1);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

void AppendEscapedByte(std::string &out, unsigned char byte)
{
    static const char Digits[] = "0123456789abcdef";
    out += "\\u00";
    out += Digits[byte >> 4];
    out += Digits[byte & 15];
}

} // namespace

void AppendJsonString(std::string &out, std::string_view bytes)
{
    out += '"';
    for (std::size_t at = 0; at < bytes.size();) {
        auto c = static_cast<unsigned char>(bytes[at]);
        std::size_t length = c < 0x20 ? 0 : Utf8SequenceLength(bytes, at);
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n' || c == '\r' || c == '\t')
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        else if (length == 0)
            AppendEscapedByte(out, c);
        else
            out.append(bytes.substr(at, length));
        at += length == 0 ? 1 : length;
    }
    out += '"';
}

TraceLine::TraceLine(const char *event)
{
    text = "{\"event\":";
    AppendJsonString(text, event);
}

TraceLine &TraceLine::Text(const char *field, std::string_view value)
{
    text += std::string(",\"") + field + "\":";
    AppendJsonString(text, value);
    return *this;
}

TraceLine &TraceLine::Number(const char *field, long long value)
{
    text += std::string(",\"") + field + "\":" + std::to_string(value);
    return *this;
}

TraceLine &TraceLine::Null(const char *field)
{
    text += std::string(",\"") + field + "\":null";
    return *this;
}

TraceLine &TraceLine::List(const char *field, const std::vector<std::string> &items)
{
    text += std::string(",\"") + field + "\":[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ',';
        AppendJsonString(text, items[i]);
    }
    text += ']';
    return *this;
}

TraceLine &TraceLine::Lists(const char *field, const std::vector<std::vector<std::string>> &lists)
{
    text += std::string(",\"") + field + "\":[";
    for (std::size_t i = 0; i < lists.size(); ++i) {
        text += i > 0 ? ",[" : "[";
        for (std::size_t j = 0; j < lists[i].size(); ++j) {
            if (j > 0)
                text += ',';
            AppendJsonString(text, lists[i][j]);
        }
        text += ']';
    }
    text += ']';
    return *this;
}

TraceLine &TraceLine::Json(const char *field, const std::string &json)
{
    text += std::string(",\"") + field + "\":" + json;
    return *this;
}

void TraceLine::Write()
{
    if (Tracing() && DivertedLines() != nullptr)
        DivertedLines()(LineKind::Trace, text);
    else if (Tracing())
        WriteTo(TraceFd);
}

void TraceLine::WriteTo(int fd)
{
    text += "}\n";
    if (Holding && fd == TraceFd)
        Held += text;
    else
        WriteAll(fd, text.data(), text.size());
}
