#pragma once
// Reading reports back in tests: libxml2 parses them (a report that is not well-formed fails
// to load), XPath picks fields, and xmllint validates them against the project's schema.
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RunCommand.h"

namespace quarvell::testing {

class ReportXml {
public:
    explicit ReportXml(const std::string& path) {
        doc_ = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!doc_) return;
        ctx_ = xmlXPathNewContext(doc_);
        xmlXPathRegisterNs(ctx_, BAD_CAST "d", BAD_CAST "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML");
        xmlXPathRegisterNs(ctx_, BAD_CAST "q", BAD_CAST "urn:quarvell:recovery-report:1");
        xmlXPathRegisterNs(ctx_, BAD_CAST "dc", BAD_CAST "http://purl.org/dc/elements/1.1/");
    }
    ~ReportXml() {
        if (ctx_) xmlXPathFreeContext(ctx_);
        if (doc_) xmlFreeDoc(doc_);
    }
    bool loaded() const { return doc_ != nullptr; }

    // The string values of every node the expression selects, in document order.
    std::vector<std::string> all(const std::string& xpath, xmlNodePtr at = nullptr) const {
        std::vector<std::string> out;
        for (xmlNodePtr n : nodes(xpath, at)) {
            xmlChar* text = xmlNodeGetContent(n);
            out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            xmlFree(text);
        }
        return out;
    }
    // The first value, or "<none>".
    std::string one(const std::string& xpath, xmlNodePtr at = nullptr) const {
        auto v = all(xpath, at);
        return v.empty() ? "<none>" : v.front();
    }
    std::vector<xmlNodePtr> nodes(const std::string& xpath, xmlNodePtr at = nullptr) const {
        std::vector<xmlNodePtr> out;
        if (!ctx_) return out;
        ctx_->node = at ? at : xmlDocGetRootElement(doc_);
        xmlXPathObjectPtr r = xmlXPathEvalExpression(BAD_CAST xpath.c_str(), ctx_);
        if (r && r->nodesetval)
            for (int i = 0; i < r->nodesetval->nodeNr; ++i) out.push_back(r->nodesetval->nodeTab[i]);
        if (r) xmlXPathFreeObject(r);
        return out;
    }

private:
    xmlDocPtr doc_ = nullptr;
    xmlXPathContextPtr ctx_ = nullptr;
};

inline std::string schemaPath() { return std::string(QUARVELL_SOURCE_DIR) + "/resources/dfxml/quarvell-dfxml.xsd"; }

inline bool haveXmllint() { return std::system("xmllint --version >/dev/null 2>&1") == 0; }

// xmllint's verdict on the report against the schema; "" when it validates.
inline std::string schemaErrors(const std::string& report) {
    const std::string command = "xmllint --noout --nonet --schema '" + schemaPath() + "' '" + report + "' 2>&1";
    const CommandOutcome r = runCommand(command);
    return r.code == 0 ? "" : r.out.empty() ? "xmllint failed" : r.out;
}

// The report validates against the schema (checked only where xmllint is installed).
#define EXPECT_VALID_REPORT(path)                                                                      \
    do {                                                                                              \
        if (::quarvell::testing::haveXmllint()) {                                                     \
            EXPECT_EQ(::quarvell::testing::schemaErrors(path), "");                                    \
        } else {                                                                                      \
            std::fprintf(stderr, "xmllint is not installed: %s is not checked against the schema\n", \
                         std::string(path).c_str());                                                  \
        }                                                                                             \
    } while (0)

inline std::string sha256Hex(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr);
    std::string out;
    char hex[3];
    for (unsigned i = 0; i < len; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", md[i]);
        out += hex;
    }
    return out;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string attr(xmlNodePtr node, const char* name) {
    xmlChar* v = xmlGetProp(node, BAD_CAST name);
    std::string out = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return out;
}

}  // namespace quarvell::testing
