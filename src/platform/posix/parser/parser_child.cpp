#include "platform/posix/parser/parser_child.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/posix/parser/parser_protocol.h"
#include "platform/posix/root/root_contents.h"

void FindForParser(void *job)
{
    ParserJob &work = *static_cast<ParserJob *>(job);
    work.found = RootKindRowOf(work.kind).find(work.root, work.windir, work.use);
}

void ReadForParser(void *job, void *record)
{
    ParserJob &work = *static_cast<ParserJob *>(job);
    ParserStart &start = *static_cast<ParserStart *>(record);
    if (!work.image)
        FindForParser(job);
    OpenRegistryOf(work.found, work.opened);
    start.platformId = work.opened.source->FormatPlatformId();
    start.windowsFound = work.found.windowsFound ? 1 : 0;
    start.imageReadInChild = work.found.readInChild ? 1 : 0;
    start.imageLockdown = work.found.childLockdown;
    Fault unread = work.opened.source->SoftwareUnread();
    start.softwareFile.Put(unread.file);
    start.softwareUnread.Put(unread.words);
}

void AnswerForParser(void *job, const ServerRequest &request, ServerReplyHeader &reply, void *payload)
{
    const RegistrySource &source = *static_cast<ParserJob *>(job)->opened.source;
    std::string_view text(request.text, request.textSize);
    std::size_t end = text.find('\0');
    std::string_view path = text.substr(0, end), name = end == text.npos ? "" : text.substr(end + 1);
    reply.error = ENOENT;
    if (request.op == kAskKey && source.KeyExists(path)) {
        reply.error = 0;
    } else if (request.op == kAskLastWrite) {
        std::uint64_t written = 0;
        if (source.KeyLastWrite(path, written)) {
            reply.error = 0;
            reply.got = sizeof written;
            std::memcpy(payload, &written, sizeof written);
        }
    } else if (request.op == kAskValue) {
        DWORD type = 0;
        std::string data;
        if (!source.FindValue(path, name, type, data))
            return;
        ValueAnswer answer = {static_cast<std::uint32_t>(type), 0, data.size()};
        std::size_t room = request.size > sizeof answer ? request.size - sizeof answer : 0;
        std::size_t from = request.offset < data.size() ? static_cast<std::size_t>(request.offset) : data.size();
        std::size_t part = data.size() - from < room ? data.size() - from : room;
        std::memcpy(payload, &answer, sizeof answer);
        std::memcpy(static_cast<char *>(payload) + sizeof answer, data.data() + from, part);
        reply.error = 0;
        reply.got = static_cast<std::uint32_t>(sizeof answer + part);
    } else if (request.op == kAskStates) {
        const std::string &list = static_cast<ParserJob *>(job)->found.state.list;
        reply.error = 0;
        reply.got = static_cast<std::uint32_t>(list.size() < request.size ? list.size() : request.size);
        std::memcpy(payload, list.data(), reply.got);
    } else if (request.op != kAskKey) {
        reply.error = EINVAL;
    }
}
