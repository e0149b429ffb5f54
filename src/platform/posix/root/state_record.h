// StateFacts as plain bytes, for the record an image's child sends back.
#pragma once

#include <cstdint>

#include "platform/posix/root/state_facts.h"
#include "platform/posix/sandbox/record_text.h"

struct StateRecord {
    int asked;
    long pointType;
    std::uint64_t time;
    RecordText<64> name;
    RecordText<16> timeFrom;
    RecordText<1024> description;
    RecordText<64> member;
    RecordText<1024> note;
    RecordText<kStateListLargest> list;
};

inline void PutStateRecord(const StateFacts &facts, StateRecord &record)
{
    record.asked = facts.asked ? 1 : 0;
    record.pointType = facts.pointType;
    record.time = facts.time;
    record.name.Put(facts.name);
    record.timeFrom.Put(facts.timeFrom);
    record.description.Put(facts.description);
    record.member.Put(facts.member);
    record.note.Put(facts.note);
    record.list.Put(facts.list);
}

inline StateFacts TakeStateRecord(const StateRecord &record)
{
    StateFacts facts;
    facts.asked = record.asked != 0;
    facts.pointType = record.pointType < -1 ? -1 : record.pointType;
    facts.time = record.time;
    facts.name = record.name.Take();
    facts.timeFrom = record.timeFrom.Take();
    facts.description = record.description.Take();
    facts.member = record.member.Take();
    facts.note = record.note.Take();
    facts.list = record.list.Take();
    return facts;
}
