#include "editor/SkinNaming.h"

#include "platform/Paths.h"
#include "platform/StrUtils.h"

namespace {

const char* const kTeamLabels[4] = {"<Red Team>", "<Blue Team>", "<Green Team>", "<Gold Team>"};
const char* const kTeamIds[4] = {"t_0", "t_1", "t_2", "t_3"};

}  // namespace

std::string StripSpacesLower(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s)
    if (c != ' ') r += c;
  return LowerCase(r);
}

std::string SanitizeCode(const std::string& s) {
  std::string r = LowerCase(s);
  for (char& c : r) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) c = 'x';
  }
  return r;
}

std::string SkinNodeText(const std::string& description, const std::string& code) {
  return description + " (" + code + ")";
}

void SplitSkinText(const std::string& text, std::string& description, std::string& code) {
  size_t p = text.rfind(" (");
  if (p == std::string::npos) {
    description = text;
    code.clear();
    return;
  }
  description = text.substr(0, p);
  code = text.substr(p + 2);
  if (!code.empty() && code.back() == ')') code.pop_back();
}

std::string SkinCodeOf(const std::string& text) {
  std::string d, c;
  SplitSkinText(text, d, c);
  return c;
}

std::string TeamLabel(const std::string& identifier) {
  for (int i = 0; i < 4; ++i)
    if (identifier == kTeamIds[i]) return kTeamLabels[i];
  return {};
}

std::string TeamIdentifier(const std::string& label) {
  for (int i = 0; i < 4; ++i)
    if (label == kTeamLabels[i]) return kTeamIds[i];
  return {};
}

std::string SkinCodeFromDialog(const std::string& typedCode, const std::string& description) {
  // The dialog's mask shows an untouched code as four blanks (or placeholders).
  bool blank = true;
  for (char c : typedCode)
    if (c != ' ' && c != '_') blank = false;
  std::string code = blank ? description.substr(0, 4) : typedCode;
  for (char& c : code)
    if (c == ' ') c = 'x';
  return SanitizeCode(code);
}

std::string TextureNodeText(const std::string& identifier, const std::string& description) {
  if (identifier.empty()) return kDefaultTextureText;
  std::string team = TeamLabel(identifier);
  if (!team.empty() && description.empty()) return team;
  return (description.empty() ? identifier : description) + " (" + identifier + ")";
}

TImportName ParseImportName(const std::string& fileName) {
  TImportName r;
  std::string name = LowerCase(ChangeFileExt(ExtractFileName(fileName), ""));
  r.Code = SanitizeCode(name.substr(0, 4));
  if (name.size() >= 5 && name[4] >= '0' && name[4] <= '9') r.Section = name[4] - '0';
  if (name.size() > 5) r.Identifier = name.substr(5);
  if (r.Identifier.empty())
    r.NodeText = kDefaultTextureText;
  else if (!TeamLabel(r.Identifier).empty())
    r.NodeText = TeamLabel(r.Identifier);
  else
    r.NodeText = r.Identifier;
  return r;
}
