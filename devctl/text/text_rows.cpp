#include "devctl/text/text_rows.h"

#include <cstring>

namespace {

constexpr size_t kSyntaxColumns = 30;
constexpr size_t kSectionRuleLength = 29;

}  // namespace

std::string FormatHelpText(const char* section_title, const char* syntax,
                           std::initializer_list<const char*> description) {
  const std::string indent(kSyntaxColumns, ' ');
  std::string text;
  if (section_title) text += std::string(kSectionRuleLength, '=') + " " + section_title + "\r\n";
  text += syntax;
  auto line = description.begin();
  if (std::strlen(syntax) < kSyntaxColumns && line != description.end()) {
    text += std::string(kSyntaxColumns - std::strlen(syntax), ' ') + *line++;
  }
  for (; line != description.end(); ++line) text += "\r\n" + indent + *line;
  return text;
}
