#pragma once
// Naming rules of the skin tree: node texts of skins and textures, skin codes, face
// identifiers, and the file-name convention of texture import.
#include <string>

// Node texts of the texture variants.
inline constexpr const char* kDefaultTextureText = "< Default >";

// Every blank removed, letters in lower case ("Big Boss" -> "bigboss").
std::string StripSpacesLower(const std::string& s);

// A skin code as the project file and the package names can carry it: lower case, every
// character outside a-z, 0-9 and _ becomes 'x'. A "(" or ";" in a code would break the skin
// node text and the project file, so nothing else may pass.
std::string SanitizeCode(const std::string& s);

// Skin node text: description + " (" + code + ")".
std::string SkinNodeText(const std::string& description, const std::string& code);

// Splits a skin node text at its LAST " (": the description may itself hold " (", the code
// never does. Without " (" the whole text is the description and the code is empty.
void SplitSkinText(const std::string& text, std::string& description, std::string& code);
std::string SkinCodeOf(const std::string& text);

// "<Red Team>".."<Gold Team>" for "t_0".."t_3"; empty for any other identifier.
std::string TeamLabel(const std::string& identifier);
// "t_0".."t_3" for the team labels; empty for any other text.
std::string TeamIdentifier(const std::string& label);

// The code of a New/Edit Skin dialog: the typed code, or (when left blank) the first four
// characters of the description; then sanitized. May be empty, which the caller refuses.
std::string SkinCodeFromDialog(const std::string& typedCode, const std::string& description);

// The node text of a texture made or renamed through the New Texture dialog: "< Default >",
// a team label, or (faces) description + " (" + identifier + ")".
std::string TextureNodeText(const std::string& identifier, const std::string& description);

// What a texture file's name says under the import convention: characters 1-4 the skin code,
// character 5 the section number (1 when it is not a digit or missing), the rest the texture's
// identifier. The name is taken without folder and extension, in lower case.
struct TImportName {
  std::string Code;  // sanitized; empty when the name is empty
  int Section = 1;
  std::string Identifier;  // empty: default texture; "t_0".."t_3": teams; else a face
  std::string NodeText;    // "< Default >", a team label, or the identifier
};
TImportName ParseImportName(const std::string& fileName);
