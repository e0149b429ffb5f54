// An XML configuration as a small tree, parsed by expat (loaded with dlopen
// when first needed): no network, no external entities, and a document that
// declares an entity is refused outright, so nothing can expand or fetch.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/base/fault.h"

const std::size_t kMaxXmlNodes = 200000; // elements of one configuration
const int kMaxXmlDepth = 256;            // nesting, a snapshot tree's included
const std::size_t kMaxXmlText = 65536;   // text inside one element

struct XmlNode {
    std::string name;      // the local name
    std::string space;     // its namespace URI, "" when none
    std::vector<std::pair<std::string, std::string>> attributes; // unprefixed names
    std::string text;      // the character data directly inside it
    int parent, firstChild, lastChild, nextSibling; // -1 when none
};

struct XmlTree {
    std::vector<XmlNode> nodes; // the root element is nodes[0]
};

bool ReadXmlTree(const char *bytes, std::size_t size, XmlTree &tree, Fault &fault);

// The attribute's value, or null when the element has none of that name.
const std::string *XmlAttribute(const XmlNode &node, const char *name);
// The first child of `node` named `name`, and the next sibling so named; -1 when none.
int XmlChild(const XmlTree &tree, int node, const char *name);
int XmlNextSibling(const XmlTree &tree, int node, const char *name);
