#include "packages/ut_objects.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "packages/UnrealFormat.h"
#include "packages/ut_packages.h"
#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "platform/StrUtils.h"

// ---- Class registry -----------------------------------------------------------------------

namespace {
struct TUTClassRegistry {
  std::string ClassName;  // lower case
  TUTObjectClass ObjClass;
};

std::vector<TUTClassRegistry>& Registry() {
  static std::vector<TUTClassRegistry> registry{{"palette", &MakeUTObject<TUTPalette>}};
  return registry;
}
}  // namespace

void RegisterUTClass(const std::string& ClassName, TUTObjectClass ObjClass) {
  const std::string name = LowerCase(ClassName);
  for (TUTClassRegistry& r : Registry())
    if (r.ClassName == name) {
      r.ObjClass = ObjClass;
      return;
    }
  Registry().push_back({name, ObjClass});
}

TUTObjectClass FindUTClass(const std::string& ClassName) {
  const std::string name = LowerCase(ClassName);
  for (const TUTClassRegistry& r : Registry())
    if (r.ClassName == name) return r.ObjClass;
  return &MakeUTObject<TUTObject>;
}

// ---- Objects ------------------------------------------------------------------------------

void TUTObject::LoadData() {
  if (Data) return;
  const TExportTableData& e = Package->GetExport(ExportIndex);
  if (e.SerialSize <= 0) throw EReadError("The object " + e.ObjectNameStr + " has no data");
  std::vector<uint8_t> bytes(static_cast<size_t>(e.SerialSize));
  Package->Open();
  {
    TScopeGuard close([this] { Package->Close(); });
    if (static_cast<int64_t>(e.SerialOffset) + e.SerialSize > Package->StreamSize() || e.SerialOffset < 0)
      throw EReadError("The data of " + e.ObjectNameStr + " lies outside the file");
    Package->Seek(e.SerialOffset);
    Package->Read(bytes.data(), bytes.size());
  }
  Data = std::make_unique<TMemoryStream>(std::move(bytes));
}

void TUTObjectWithProperties::ReadObject() {
  LoadData();
  Package->PushStream(Data.get());
  {
    TScopeGuard pop([this] { Package->PopStream(); });
    Package->Seek(0);
    Package->InArray = false;
    Package->PendingStruct.clear();
    Package->PendingStructTag = 0;
    PropertyCount = 0;
    Properties.clear();
    const int64_t size = Package->StreamSize();
    // Past the end every read yields zeros; stop there rather than read zeros for ever.
    while (Package->GetPosition() < size) {
      TUTProperty p;
      const bool more = ReadProperties(*Package, p);
      Properties.push_back(std::move(p));
      ++PropertyCount;
      if (!more) break;
    }
    PropertiesEnd = static_cast<int32_t>(Package->GetPosition());
  }
}

void TUTPalette::ReadObject() {
  TUTObjectWithProperties::ReadObject();
  Package->PushStream(Data.get());
  Package->Seek(PropertiesEnd);
  ColorCount = Package->ReadCompactIndex();
  PropertiesEnd = static_cast<int32_t>(Package->GetPosition());
  Package->PopStream();
}

// ---- Property list ------------------------------------------------------------------------

namespace {
const std::vector<std::string>* EnumerationOf(const std::string& lname) {
  struct TEnum {
    std::vector<std::string> Props, Names;
  };
  static const std::vector<TEnum> tables = {
      {{"csgoper"}, {"CSG_Active", "CSG_Add", "CSG_Substract", "CSG_Intersect", "CSG_Deintersect"}},
      {{"drawtype"},
       {"DT_None", "DT_Sprite", "DT_Mesh", "DT_Brush", "DT_RopeSprite", "DT_VerticalSprite", "DT_TerraForm",
        "DT_SpriteAnimOnce"}},
      {{"lighteffect"}, {"LE_None",        "LE_TorchWaver",   "LE_FireWaver", "LE_WateryShimmer", "LE_Searchlight",
                         "LE_SlowWave",    "LE_FastWave",     "LE_CloudCast", "LE_StaticSpot",    "LE_Shock",
                         "LE_Disco",       "LE_Warp",         "LE_Spotlight", "LE_NonIncidence",  "LE_Shell",
                         "LE_OmniBumpMap", "LE_Interference", "LE_Cylinder",  "LE_Rotor",         "LE_Unused"}},
      {{"lighttype"},
       {"LT_None", "LT_Steady", "LT_Pulse", "LT_Blink", "LT_Flicker", "LT_Strobe", "LT_BackdropLight", "LT_SubtlePulse",
        "LT_TexturePaletteOnce", "LT_TexturePaletteLoop"}},
      {{"physics"},
       {"PHYS_None", "PHYS_Walking", "PHYS_Falling", "PHYS_Swimming", "PHYS_Flying", "PHYS_Rotating", "PHYS_Projectile",
        "PHYS_Rolling", "PHYS_Interpolating", "PHYS_MovingBrush", "PHYS_Spider", "PHYS_Trailer"}},
      {{"remoterole"},
       {"ROLE_None", "ROLE_DumbProxy", "ROLE_SimulatedProxy", "ROLE_AutonomousProxy", "ROLE_Authority"}},
      {{"droptype"},
       {"DROP_FixedDepth",       "DROP_PhaseSpot",     "DROP_ShallowSpot",   "DROP_HalfAmpl",       "DROP_RandomMover",
        "DROP_FixedRandomMover", "DROP_WhirlyThing",   "DROP_BigWhirly",     "DROP_HorizontalLine", "DROP_VerticalLine",
        "DROP_DiagonalLine1",    "DROP_DiagonalLine2", "DROP_HorizontalOsc", "DROP_VerticalOsc",    "DROP_DiagonalOsc1",
        "DROP_DiagonalOsc2",     "DROP_RainDrops",     "DROP_AreaClamp",     "DROP_LeakyTap",       "DROP_DrippyTap"}},
      {{"drawmode"}, {"DRAW_Normal", "DRAW_Lathe", "DRAW_Lathe_2", "DRAW_Lathe_3", "DRAW_Lathe_4"}},
      {{"sparktype"}, {"SPARK_Burn",          "SPARK_Sparkle",
                       "SPARK_Pulse",         "SPARK_Signal",
                       "SPARK_Blaze",         "SPARK_OzHasSpoken",
                       "SPARK_Cone",          "SPARK_BlazeRight",
                       "SPARK_BlazeLeft",     "SPARK_Cylinder",
                       "SPARK_Cylinder3D",    "SPARK_Lissajous",
                       "SPARK_Jugglers",      "SPARK_Emit",
                       "SPARK_Fountain",      "SPARK_Flocks",
                       "SPARK_Eels",          "SPARK_Organic",
                       "SPARK_WanderOrganic", "SPARK_RandomCloud",
                       "SPARK_CustomCloud",   "SPARK_LocalCloud",
                       "SPARK_Starts",        "SPARK_LineLightning",
                       "SPARK_RampLightning", "SPARK_SphereLightning",
                       "SPARK_Wheel",         "SPARK_Gametes",
                       "SPARK_Sprinkler"}},
      {{"style", "muzzleflashstyle"}, {"STY_None", "STY_Normal", "STY_Masked", "STY_Translucent", "STY_Modulated"}},
      {{"timedistribution"}, {"DIST_Constant", "DIST_Uniform", "DIST_Gaussian"}},
      {{"attitudetoplayer"},
       {"ATTITUDE_Fear", "ATTITUDE_Hate", "ATTITUDE_Frenzy", "ATTITUDE_Threaten", "ATTITUDE_Ignore",
        "ATTITUDE_Friendly", "ATTITUDE_Follow"}},
      {{"intelligence"}, {"BRAINS_None", "BRAINS_Reptile", "BRAINS_Mammal", "BRAINS_Human"}},
      {{"bumptype"}, {"BT_PlayerBump", "BT_PawnBump", "BT_AnyBump"}},
      {{"moverencroachtype"},
       {"ME_StopWhenEncroach", "ME_ReturnWhenEncroach", "ME_CrushWhenEncroach", "ME_IgnoreWhenEncroach"}},
      {{"moverglidetype"}, {"MV_MoveByTime", "MV_GlideByTime"}},
      {{"lodset"}, {"LODSET_None", "LODSET_World", "LODSET_Skin"}},
  };
  for (const TEnum& t : tables)
    for (const std::string& p : t.Props)
      if (p == lname) return &t.Names;
  return nullptr;
}

const std::vector<std::string> kSheerAxes = {"SHEER_None", "SHEER_XY", "SHEER_XZ", "SHEER_YX",
                                             "SHEER_YZ",   "SHEER_ZX", "SHEER_ZY"};

bool IsStaticArrayName(const std::string& lname) {
  static const char* const names[] = {"paths",
                                      "visnoreachpaths",
                                      "upstreampaths",
                                      "prunedpaths",
                                      "aiprofile",
                                      "multiskins",
                                      "lensflare",
                                      "lensflareoffset",
                                      "lensflarescale",
                                      "delay",
                                      "gain",
                                      "outevents",
                                      "outdelays",
                                      "objshots",
                                      "objdesc",
                                      "damageevent",
                                      "damageeventthreshold",
                                      "tags",
                                      "events",
                                      "opentimes",
                                      "closetimes"};
  for (const char* n : names)
    if (lname == n) return true;
  return false;
}

// "0x%-N.Nx": at least N upper-case hex digits of the value as an unsigned 32-bit word.
std::string Hex(uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

// Fixed notation with six decimals and a point, whatever the locale.
std::string Fixed6(float f) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(f), std::chars_format::fixed, 6);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0.000000");
}

float ReadFloat(TUTPackage& P) {
  const uint32_t u = static_cast<uint32_t>(P.ReadDWord());
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

std::string EnumText(int v, const std::vector<std::string>* names) {
  std::string s = std::to_string(v) + " (";
  if (names && v >= 0 && static_cast<size_t>(v) < names->size())
    s += (*names)[static_cast<size_t>(v)];
  else
    s += Hex(static_cast<uint32_t>(v), 2);
  return s + ")";
}

// The name of an object reference: "None", an export's name, or an import's class package,
// class and object names; the error text for a reference outside the tables.
std::string ObjectName(TUTPackage& P, int32_t Ref) {
  if (Ref == 0) return "None";
  try {
    const int32_t index = static_cast<int32_t>(RefTableIndex(Ref));
    if (Ref > 0) return P.GetExport(index).ObjectNameStr;
    const TImportTableData& m = P.GetImport(index);
    return m.ClassPackageStr + "." + m.ClassNameStr + "." + m.ObjectNameStr;
  } catch (const Exception& e) {
    return e.Message;
  }
}

// Reads at most Length bytes of text, never more than the data left.
std::string ReadText(TUTPackage& P, int64_t Length) {
  const int64_t left = P.StreamSize() - P.GetPosition();
  if (Length > left) Length = left;
  if (Length <= 0) return {};
  std::string s(static_cast<size_t>(Length), '\0');
  P.Read(s.data(), s.size());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

// Reads a struct value by its (lower-case) name; returns the value text, "" for an unknown one.
std::string ReadStruct(TUTPackage& P, const std::string& lstruct, TUTProperty& Prop) {
  if (lstruct == "color") {
    uint8_t c[4];
    P.Read(c, 4);
    Prop.PropType = ptColor;
    Prop.Value = static_cast<int32_t>(c[0] | (c[1] << 8) | (c[2] << 16) | (static_cast<uint32_t>(c[3]) << 24));
    return "(R=" + Hex(c[0], 2) + ", G=" + Hex(c[1], 2) + ", B=" + Hex(c[2], 2) + ", A=" + Hex(c[3], 2) + ")";
  }
  if (lstruct == "vector") {
    const float x = ReadFloat(P), y = ReadFloat(P), z = ReadFloat(P);
    Prop.PropType = ptVector;
    Prop.FloatValue = x;
    return "(X=" + Fixed6(x) + ", Y=" + Fixed6(y) + ", Z=" + Fixed6(z) + ")";
  }
  if (lstruct == "rotator") {
    const int32_t pitch = P.ReadDWord(), yaw = P.ReadDWord(), roll = P.ReadDWord();
    Prop.PropType = ptRotator;
    Prop.Value = pitch;
    return "(Pitch=" + std::to_string(pitch) + ", Yaw=" + std::to_string(yaw) + ", Roll=" + std::to_string(roll) + ")";
  }
  if (lstruct == "pointregion") {
    const int32_t zone = P.ReadCompactIndex();
    const int32_t leaf = P.ReadDWord();
    const int32_t number = P.ReadCompactIndex();
    Prop.PropType = ptPointRegion;
    Prop.Value = zone;
    return "(Zone=" + ObjectName(P, zone) + ", iLeaf=" + std::to_string(leaf) +
           ", ZoneNumber=" + std::to_string(number) + ")";
  }
  if (lstruct == "scale") {
    const float x = ReadFloat(P), y = ReadFloat(P), z = ReadFloat(P), rate = ReadFloat(P);
    const uint8_t axis = P.ReadByte();
    Prop.PropType = ptScale;
    Prop.FloatValue = x;
    Prop.Value = axis;
    return "(X=" + Fixed6(x) + ", Y=" + Fixed6(y) + ", Z=" + Fixed6(z) + ", SheerRate=" + Fixed6(rate) +
           ", SheerAxis=" + EnumText(axis, &kSheerAxes) + ")";
  }
  return {};
}

// An array element's index in its variable-length form: one byte below 128; two bytes, big-end
// first, when the top bits are 10; four when they are 11. A Drops[128] of a wave texture takes
// two bytes, and reading one would shift every property after it.
int32_t ReadArrayIndex(TUTPackage& P) {
  const uint32_t b0 = P.ReadByte();
  if ((b0 & 0x80) == 0) return static_cast<int32_t>(b0);
  if ((b0 & 0x40) == 0) return static_cast<int32_t>(((b0 & 0x7F) << 8) | P.ReadByte());
  uint32_t v = b0 & 0x3F;
  for (int k = 0; k < 3; ++k) v = (v << 8) | P.ReadByte();
  return static_cast<int32_t>(v);
}

bool IsStructName(const std::string& l) {
  return l == "color" || l == "vector" || l == "rotator" || l == "pointregion" || l == "scale";
}

// What the name step learns about the property element being read.
struct PropertyHead {
  std::string name;         // as the name table holds it
  std::string lname;        // lower case, for the struct and type tests
  std::string baseName;     // the property's own name, for the array and enumeration tables
  std::string structName;   // set for a struct's value
  uint8_t announcedBy = 0;  // the info byte of the pending struct
  bool structElement = false;
};

// The name, and whether it is the value of a struct the previous element announced.
PropertyHead ReadPropertyName(TUTPackage& P, TUTProperty& Prop) {
  PropertyHead h;
  h.name = P.GetName(P.ReadCompactIndex());
  h.lname = LowerCase(h.name);
  h.baseName = h.lname;
  h.structElement = !P.PendingStruct.empty();
  if (!h.structElement) {
    Prop.Name = h.name;
    return h;
  }
  Prop.Name = P.PendingStruct + "." + h.name;
  h.baseName = LowerCase(P.PendingStruct);
  h.structName = h.name;
  h.announcedBy = P.PendingStructTag;
  P.PendingStruct.clear();
  P.PendingStructTag = 0;
  return h;
}

// The element's index when its tag marked it as part of an array; the mark is spent with it.
void ReadPendingArrayIndex(TUTPackage& P, TUTProperty& Prop) {
  if (!P.InArray) return;
  Prop.ArrayIndex = ReadArrayIndex(P);
  P.InArray = false;
}

// The size the tag gave the struct's value; -1 for a bare struct name, which has no tag.
// A struct whose size has no code of its own (tag 0x5A) carries a size byte after its
// name; the scale struct (17 bytes) always comes that way, so its value takes 18 bytes.
int64_t ReadStructSize(TUTPackage& P, const PropertyHead& h) {
  int64_t declared = h.announcedBy == 0x2A ? 4 : h.announcedBy == 0x3A ? 12 : -1;
  if (h.announcedBy == 0x5A || h.lname == "scale") {
    const uint8_t size = P.ReadByte();
    if (h.announcedBy == 0x5A) declared = size;
  }
  return declared;
}

// A struct's value: size, then the index of an array element of structs, then its fields.
bool ReadStructValue(TUTPackage& P, PropertyHead& h, TUTProperty& Prop, std::string& value) {
  if (h.structName.empty()) h.structName = h.name;
  const int64_t declared = ReadStructSize(P, h);
  ReadPendingArrayIndex(P, Prop);
  const int64_t start = P.GetPosition();
  if (IsStructName(h.lname)) {
    value = ReadStruct(P, h.lname, Prop);
    const int64_t used = P.GetPosition() - start;
    if (declared >= 0 && used > declared) {
      // Reading on would take the next property's bytes for this value.
      Prop.PropType = ptUnknown;
      Prop.Text = "Struct " + h.structName + " of " + Prop.Name + " claims " + std::to_string(declared) +
                  " bytes but its fields take " + std::to_string(used) + ", scan stopped";
      return false;
    }
  }
  // A struct nobody knows (the drops of a wet texture), or one that claims more than its
  // fields: its declared size is skipped, so the properties after it are read from their start.
  if (declared >= 0) P.Seek(start + declared);
  return true;
}

std::string ReadNumberValue(TUTPackage& P, uint8_t info, const std::string& baseName, TUTProperty& Prop) {
  if (info == 0x01) {
    Prop.PropType = ptByte;
    Prop.Value = P.ReadByte();
    return EnumText(Prop.Value, EnumerationOf(baseName));
  }
  if (info == 0x24) {
    Prop.PropType = ptFloat;
    Prop.FloatValue = ReadFloat(P);
    return Fixed6(Prop.FloatValue);
  }
  Prop.PropType = ptInt;
  Prop.Value = info == 0x0D ? P.ReadCompactIndex() : P.ReadDWord();
  return std::to_string(Prop.Value) + " (" + Hex(static_cast<uint32_t>(Prop.Value), 8) + ")";
}

// An object reference (0x55: a compact index of 3 or 5 bytes, after its size byte) or a name.
std::string ReadReferenceValue(TUTPackage& P, uint8_t info, TUTProperty& Prop) {
  Prop.Value = P.ReadCompactIndex();
  if (info == 0x06 || info == 0x16) {
    Prop.PropType = ptNameRef;
    return Hex(static_cast<uint32_t>(Prop.Value), 2) + " (" + P.GetName(Prop.Value) + ")";
  }
  Prop.PropType = ptObjRef;
  return std::to_string(Prop.Value) + " (" + ObjectName(P, Prop.Value) + ")";
}

std::string ReadDropValue(TUTPackage& P, TUTProperty& Prop) {
  uint8_t b[8];
  P.Read(b, 8);
  Prop.PropType = ptADrop;
  const uint32_t unknown1 = b[0] | (b[1] << 8);
  const uint32_t unknown2 = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
  return "(Unknown1=" + Hex(unknown1, 4) + ", X=" + std::to_string(b[2]) + ", Y=" + std::to_string(b[3]) +
         ", Unknown2=" + Hex(unknown2, 8) + ")";
}

// Text with its length first; under tag 0x5D the size byte gives the length, index included.
std::string ReadTextValue(TUTPackage& P, uint8_t info, uint8_t size, TUTProperty& Prop) {
  const int64_t start = P.GetPosition();
  const int64_t length = P.ReadCompactIndex();
  const int64_t indexBytes = P.GetPosition() - start;
  Prop.PropType = ptText;
  Prop.StrValue = ReadText(P, info == 0x5D ? static_cast<int64_t>(size) - indexBytes : length);
  return "'" + Prop.StrValue + "'";
}

std::string ReadBoolValue(TUTPackage& P, uint8_t info, TUTProperty& Prop) {
  P.ReadByte();
  Prop.PropType = ptBool;
  Prop.Value = info == 0xD3 ? 1 : 0;
  return Prop.Value ? "True" : "False";
}

// The value the info byte's type names; false for a type nobody knows, whose size is unknown too.
bool ReadValueByType(TUTPackage& P, uint8_t info, uint8_t size, const std::string& baseName, TUTProperty& Prop,
                     std::string& value) {
  switch (info) {
    case 0x01:
    case 0x0D:
    case 0x22:
    case 0x24: value = ReadNumberValue(P, info, baseName, Prop); return true;
    case 0x05:
    case 0x15:
    case 0x25:
    case 0x55:
    case 0x06:
    case 0x16: value = ReadReferenceValue(P, info, Prop); return true;
    case 0x08: value = ReadDropValue(P, Prop); return true;
    case 0x3D:
    case 0x4D:
    case 0x5D: value = ReadTextValue(P, info, size, Prop); return true;
    case 0x53:
    case 0xD3: value = ReadBoolValue(P, info, Prop); return true;
    default:
      Prop.PropType = ptUnknown;
      Prop.Value = info;
      Prop.Text = "Unknown type " + Hex(info, 2) + ", scan stopped";
      return false;
  }
}

// A tagged property: info byte (type, and the array mark in its top bit), size byte for the
// types that carry one, array index, then the value; a struct tag leaves its value to the next element.
bool ReadTaggedValue(TUTPackage& P, const PropertyHead& h, TUTProperty& Prop, std::string& value) {
  uint8_t info = P.ReadByte();
  const bool arrayElement = (info & 0x80) && info != 0xD3;
  if (arrayElement) info &= 0x7F;
  P.InArray = arrayElement;
  const uint8_t size = info == 0x5D || info == 0x55 ? P.ReadByte() : 0;
  if (info == 0x2A || info == 0x3A || info == 0x5A) {
    // The struct's name and value follow as the next property element, its index after them.
    P.PendingStruct = h.name;
    P.PendingStructTag = info;
    Prop.PropType = ptNone;
    return true;
  }
  ReadPendingArrayIndex(P, Prop);
  return ReadValueByType(P, info, size, h.baseName, Prop, value);
}

// "Name[index] (Struct) = value", the index shown for every element of a static array.
std::string PropertyText(const TUTProperty& Prop, const PropertyHead& h, const std::string& value) {
  std::string text = Prop.Name;
  if (Prop.ArrayIndex != 0 || IsStaticArrayName(h.baseName)) {
    // Appended apart: "[" + text trips a false overlap warning of GCC 12 at -O3.
    text += '[';
    text += std::to_string(Prop.ArrayIndex);
    text += ']';
  }
  if (!h.structName.empty()) text += " (" + h.structName + ")";
  if (Prop.PropType != ptNone) text += " = " + value;
  return text;
}
}  // namespace

bool ReadProperties(TUTPackage& P, TUTProperty& Prop) {
  Prop = TUTProperty();
  PropertyHead h = ReadPropertyName(P, Prop);
  std::string value;
  bool more = true;
  if (h.lname == "none") {
    Prop.PropType = ptNone;
    more = false;
  } else if (h.structElement || IsStructName(h.lname)) {
    if (!ReadStructValue(P, h, Prop, value)) return false;
  } else if (!ReadTaggedValue(P, h, Prop, value)) {
    return false;
  }
  Prop.Text = PropertyText(Prop, h, value);
  return more;
}
