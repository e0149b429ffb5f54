#include "platform/posix/parser/remote_registry.h"

#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/parser/parser_protocol.h"

namespace {

// The child has gone: said once, and nothing more is asked of it.
bool Gone(const RemoteRegistry &remote)
{
    RefuseSandboxedServer(remote.server);
    if (!remote.said)
        PrintErrorLine(remote.root + ": " + ChildFailure(remote.server.ended, remote.what));
    remote.said = true;
    return false;
}

// One question, its answer in `reply` and `payload` (kServerReadLargest of
// room). False for a path too long to ask (no key Windows opens is), and once
// the child has gone, which is said the first time.
bool Ask(const RemoteRegistry &remote, std::uint32_t op, std::string_view path, std::string_view name,
         std::uint64_t offset, ServerReplyHeader &reply, void *payload)
{
    static ServerRequest request;
    std::size_t size = path.size() + 1 + name.size();
    if (size > sizeof request.text)
        return false;
    request.op = op;
    request.file = 0;
    request.offset = offset;
    request.size = kServerReadLargest;
    request.textSize = static_cast<std::uint32_t>(size);
    std::memcpy(request.text, path.data(), path.size());
    request.text[path.size()] = '\0';
    std::memcpy(request.text + path.size() + 1, name.data(), name.size());
    return AskSandboxedServer(remote.server, request, reply, payload) || Gone(remote);
}

unsigned char Payload[kServerReadLargest];

} // namespace

bool RemoteRegistry::KeyExists(std::string_view path) const
{
    // Once the child has gone the registry reads as empty, whatever it said before.
    for (std::size_t i = 0; i < keptCount && !said; ++i)
        if (keptKeys[i] == path)
            return keptExists[i];
    ServerReplyHeader reply;
    bool exists = Ask(*this, kAskKey, path, "", 0, reply, Payload) && reply.error == 0;
    if (keptCount < kKeysKept && !said) {
        keptKeys[keptCount] = std::string(path);
        keptExists[keptCount++] = exists;
    }
    return exists;
}

bool RemoteRegistry::KeyLastWrite(std::string_view path, std::uint64_t &filetime) const
{
    ServerReplyHeader reply;
    if (!Ask(*this, kAskLastWrite, path, "", 0, reply, Payload) || reply.error != 0)
        return false;
    if (reply.got != sizeof filetime)
        return Gone(*this);
    std::memcpy(&filetime, Payload, sizeof filetime);
    return true;
}

bool RemoteRegistry::FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const
{
    data.clear();
    // A value larger than one answer comes in parts, each from where the
    // last ended; every part must move on and agree on the whole.
    for (;;) {
        ServerReplyHeader reply;
        if (!Ask(*this, kAskValue, path, name, data.size(), reply, Payload) || reply.error != 0)
            return false;
        ValueAnswer answer;
        if (reply.got < sizeof answer)
            return Gone(*this);
        std::memcpy(&answer, Payload, sizeof answer);
        std::size_t part = reply.got - sizeof answer;
        bool fits = answer.total <= kRemoteValueLargest && data.size() + part <= answer.total;
        bool moves = part > 0 || data.size() == answer.total;
        if (!fits || !moves || (!data.empty() && answer.type != type))
            return Gone(*this);
        type = answer.type;
        data.append(reinterpret_cast<const char *>(Payload) + sizeof answer, part);
        if (data.size() == answer.total) {
            EndStringAsAFunctionDoes(type, data); // whatever the child sent
            return true;
        }
    }
}
