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

// Once the child has gone the registry reads as empty, whatever it said before.
const RemoteRegistry::KeptAnswer *Kept(const RemoteRegistry &remote, std::uint32_t op, std::string_view path,
                                       std::string_view name)
{
    for (std::size_t i = 0; i < remote.keptCount && !remote.said; ++i) {
        const RemoteRegistry::KeptAnswer &kept = remote.kept[i];
        const char *bytes = remote.keptBytes + kept.at;
        if (kept.op == op && kept.pathSize == path.size() && kept.nameSize == name.size() &&
            std::memcmp(bytes, path.data(), path.size()) == 0 &&
            std::memcmp(bytes + path.size(), name.data(), name.size()) == 0)
            return &kept;
    }
    return nullptr;
}

std::string_view KeptData(const RemoteRegistry &remote, const RemoteRegistry::KeptAnswer &kept)
{
    return std::string_view(remote.keptBytes + kept.at + kept.pathSize + kept.nameSize, kept.dataSize);
}

// An answer the child gave, unless it has gone since.
bool Keep(const RemoteRegistry &remote, std::uint32_t op, std::string_view path, std::string_view name, bool found,
          DWORD type, std::string_view data)
{
    std::size_t size = path.size() + name.size() + data.size();
    if (remote.keptCount == RemoteRegistry::kAnswersKept || remote.said ||
        size > RemoteRegistry::kKeptBytes - remote.keptUsed)
        return found;
    char *bytes = remote.keptBytes + remote.keptUsed;
    std::memcpy(bytes, path.data(), path.size());
    std::memcpy(bytes + path.size(), name.data(), name.size());
    std::memcpy(bytes + path.size() + name.size(), data.data(), data.size());
    remote.kept[remote.keptCount++] = {op, found, type, remote.keptUsed, path.size(), name.size(), data.size()};
    remote.keptUsed += size;
    return found;
}

// The value, in parts where it does not fit one answer.
bool AskValue(const RemoteRegistry &remote, std::string_view path, std::string_view name, DWORD &type,
              std::string &data)
{
    data.clear();
    // A value larger than one answer comes in parts, each from where the
    // last ended; every part must move on and agree on the whole.
    for (;;) {
        ServerReplyHeader reply;
        if (!Ask(remote, kAskValue, path, name, data.size(), reply, Payload) || reply.error != 0)
            return false;
        ValueAnswer answer;
        if (reply.got < sizeof answer)
            return Gone(remote);
        std::memcpy(&answer, Payload, sizeof answer);
        std::size_t part = reply.got - sizeof answer;
        bool fits = answer.total <= kRemoteValueLargest && data.size() + part <= answer.total;
        bool moves = part > 0 || data.size() == answer.total;
        if (!fits || !moves || (!data.empty() && answer.type != type))
            return Gone(remote);
        type = answer.type;
        data.append(reinterpret_cast<const char *>(Payload) + sizeof answer, part);
        if (data.size() == answer.total) {
            EndStringAsAFunctionDoes(type, data); // whatever the child sent
            return true;
        }
    }
}

} // namespace

bool RemoteRegistry::KeyExists(std::string_view path) const
{
    if (const KeptAnswer *answer = Kept(*this, kAskKey, path, ""))
        return answer->found;
    ServerReplyHeader reply;
    bool exists = Ask(*this, kAskKey, path, "", 0, reply, Payload) && reply.error == 0;
    return Keep(*this, kAskKey, path, "", exists, 0, "");
}

bool RemoteRegistry::KeyLastWrite(std::string_view path, std::uint64_t &filetime) const
{
    if (const KeptAnswer *answer = Kept(*this, kAskLastWrite, path, "")) {
        std::memcpy(&filetime, KeptData(*this, *answer).data(), answer->found ? sizeof filetime : 0);
        return answer->found;
    }
    ServerReplyHeader reply;
    if (!Ask(*this, kAskLastWrite, path, "", 0, reply, Payload))
        return false;
    if (reply.error != 0)
        return Keep(*this, kAskLastWrite, path, "", false, 0, "");
    if (reply.got != sizeof filetime)
        return Gone(*this);
    std::memcpy(&filetime, Payload, sizeof filetime);
    return Keep(*this, kAskLastWrite, path, "", true, 0,
                std::string_view(reinterpret_cast<const char *>(Payload), sizeof filetime));
}

bool RemoteRegistry::FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const
{
    if (const KeptAnswer *answer = Kept(*this, kAskValue, path, name)) {
        type = answer->found ? answer->type : type;
        data.assign(KeptData(*this, *answer));
        return answer->found;
    }
    if (!AskValue(*this, path, name, type, data))
        return Keep(*this, kAskValue, path, name, false, 0, "");
    return Keep(*this, kAskValue, path, name, true, type, data);
}

std::string RemoteRegistry::StateList() const
{
    ServerReplyHeader reply = {};
    if (!Ask(*this, kAskStates, "", "", 0, reply, Payload) || reply.error != 0 || reply.got > kServerReadLargest)
        return "";
    return std::string(reinterpret_cast<const char *>(Payload), reply.got);
}
