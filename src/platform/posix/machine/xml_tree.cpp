#include "platform/posix/machine/xml_tree.h"

#include <expat.h>

#include <cstring>

#include "platform/posix/base/library_loading.h"

namespace {

// Debian's libexpat1.
const char ExpatSoname[] = "libexpat.so.1";
const char NamespaceMark = '\x01'; // between a namespace URI and a local name

#define EXPAT_FUNCTIONS(F)                                                                                            \
    F(parserCreateNs, XML_ParserCreateNS)                                                                              \
    F(parserFree, XML_ParserFree)                                                                                      \
    F(setUserData, XML_SetUserData)                                                                                    \
    F(setElementHandler, XML_SetElementHandler)                                                                        \
    F(setCharacterDataHandler, XML_SetCharacterDataHandler)                                                            \
    F(setEntityDeclHandler, XML_SetEntityDeclHandler)                                                                  \
    F(setParamEntityParsing, XML_SetParamEntityParsing)                                                                \
    F(parse, XML_Parse)                                                                                                \
    F(stopParser, XML_StopParser)                                                                                      \
    F(getErrorCode, XML_GetErrorCode)                                                                                  \
    F(errorString, XML_ErrorString)                                                                                    \
    F(currentLine, XML_GetCurrentLineNumber)

struct ExpatFunctions {
    EXPAT_FUNCTIONS(DECLARE_READER_FUNCTION)
};
ExpatFunctions Expat;
bool ExpatLoaded = false;

struct Building {
    const ExpatFunctions *expat;
    XML_Parser parser;
    XmlTree *tree;
    int open; // the element whose content comes next; -1 before the root
    int depth;
    std::string refused; // why the parse was stopped, "" when expat stopped it
};

void Refuse(Building &building, const std::string &why)
{
    if (building.refused.empty())
        building.refused = why;
    building.expat->stopParser(building.parser, XML_FALSE);
}

void SplitName(const char *full, std::string &space, std::string &name)
{
    const char *mark = std::strchr(full, NamespaceMark);
    space = mark != nullptr ? std::string(full, mark) : "";
    name = mark != nullptr ? mark + 1 : full;
}

void XMLCALL StartElement(void *data, const XML_Char *name, const XML_Char **attributes)
{
    Building &b = *static_cast<Building *>(data);
    std::vector<XmlNode> &nodes = b.tree->nodes;
    if (nodes.size() >= kMaxXmlNodes || b.depth >= kMaxXmlDepth)
        return Refuse(b, nodes.size() >= kMaxXmlNodes ? "more than " + std::to_string(kMaxXmlNodes) + " elements"
                                                      : "elements nested deeper than " + std::to_string(kMaxXmlDepth));
    if (b.open < 0 && !nodes.empty())
        return Refuse(b, "more than one root element");
    XmlNode node;
    SplitName(name, node.space, node.name);
    for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2) {
        std::string space, local;
        SplitName(attributes[i], space, local);
        if (space.empty())
            node.attributes.emplace_back(local, attributes[i + 1]);
    }
    node.parent = b.open;
    node.firstChild = node.lastChild = node.nextSibling = -1;
    int index = static_cast<int>(nodes.size());
    nodes.push_back(std::move(node));
    if (b.open >= 0) {
        XmlNode &parent = nodes[b.open];
        if (parent.lastChild >= 0)
            nodes[parent.lastChild].nextSibling = index;
        else
            parent.firstChild = index;
        parent.lastChild = index;
    }
    b.open = index;
    ++b.depth;
}

void XMLCALL EndElement(void *data, const XML_Char *)
{
    Building &b = *static_cast<Building *>(data);
    if (!b.refused.empty() || b.open < 0) // expat ends an empty element it was stopped at
        return;
    b.open = b.tree->nodes[b.open].parent;
    --b.depth;
}

void XMLCALL Characters(void *data, const XML_Char *text, int length)
{
    Building &b = *static_cast<Building *>(data);
    if (!b.refused.empty() || b.open < 0)
        return;
    std::string &kept = b.tree->nodes[b.open].text;
    if (kept.size() + static_cast<std::size_t>(length) > kMaxXmlText)
        return Refuse(b, "an element holds more than " + std::to_string(kMaxXmlText) + " bytes of text");
    kept.append(text, static_cast<std::size_t>(length));
}

void XMLCALL EntityDeclared(void *data, const XML_Char *name, int, const XML_Char *, int, const XML_Char *,
                            const XML_Char *, const XML_Char *, const XML_Char *)
{
    Refuse(*static_cast<Building *>(data),
           std::string("the document declares an entity (") + name + "), which a configuration never does");
}

} // namespace

bool ReadXmlTree(const char *bytes, std::size_t size, XmlTree &tree, Fault &fault)
{
    const ExpatFunctions *expat = LoadReaderLibrary(
        ExpatSoname, Expat, ExpatLoaded, fault,
        [](void *library, auto &functions) { return EXPAT_FUNCTIONS(BIND_READER_FUNCTION) true; });
    if (expat == nullptr)
        return false;
    if (size > static_cast<std::size_t>(INT32_MAX)) {
        fault = {"", "the document is too large"};
        return false;
    }
    tree.nodes.clear();
    XML_Parser parser = expat->parserCreateNs(nullptr, NamespaceMark);
    if (parser == nullptr) {
        fault = {"", "expat could not make a parser"};
        return false;
    }
    Building building = {expat, parser, &tree, -1, 0, ""};
    expat->setUserData(parser, &building);
    expat->setElementHandler(parser, StartElement, EndElement);
    expat->setCharacterDataHandler(parser, Characters);
    expat->setEntityDeclHandler(parser, EntityDeclared);
    expat->setParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    bool parsed = expat->parse(parser, bytes, static_cast<int>(size), XML_TRUE) == XML_STATUS_OK;
    if (!parsed) {
        unsigned long line = expat->currentLine(parser);
        const XML_LChar *why = expat->errorString(expat->getErrorCode(parser));
        std::string words = !building.refused.empty() ? building.refused : (why != nullptr ? why : "not XML");
        fault = {"", "XML refused at line " + std::to_string(line) + ": " + words};
    } else if (tree.nodes.empty()) {
        fault = {"", "the document holds no element"};
        parsed = false;
    }
    expat->parserFree(parser);
    return parsed;
}

const std::string *XmlAttribute(const XmlNode &node, const char *name)
{
    for (const auto &attribute : node.attributes)
        if (attribute.first == name)
            return &attribute.second;
    return nullptr;
}

int XmlChild(const XmlTree &tree, int node, const char *name)
{
    int child = node >= 0 ? tree.nodes[node].firstChild : -1;
    while (child >= 0 && tree.nodes[child].name != name)
        child = tree.nodes[child].nextSibling;
    return child;
}

int XmlNextSibling(const XmlTree &tree, int node, const char *name)
{
    int next = tree.nodes[node].nextSibling;
    while (next >= 0 && tree.nodes[next].name != name)
        next = tree.nodes[next].nextSibling;
    return next;
}
