#pragma once
// The model catalogue: every "model-" section of the model extension files (.cvmx, INI text)
// read into TModelo records, and the two writers that change a model's section in place
// (its default position and its camera presets).
//
// Files read, in this order: the program's own .ini (program file name with ".ini"), every
// *.cvmx of the program folder, every *.cvmx of its CustomModels folder; each folder in name
// order without letter case. Of two models with exactly the same prefix (letter case counts)
// the first read wins.
#include <memory>
#include <string>
#include <vector>

#include "model/crvn_struc.h"

using TModelList = std::vector<std::unique_ptr<TModelo>>;

// Rebuilds models from the extension files and then refreshes currentModel from the entry
// with its prefix (it keeps its content when its prefix is empty or no longer found).
// A model section with an error (a malformed number, a short preset) or a file that cannot be
// read is left out and the others load; once the catalogue is complete, EConvertError names
// each file and section left out and why, and each wire bitmap that could not be read (its
// section is drawn without it). While the load runs, models keeps the previous
// catalogue, and IsBusy() is true.
void LoadModelExtensions(TModelList& models, TModelo& currentModel);
void LoadModelExtensions(TModelList& models, TModelo& currentModel, const std::string& programFileName,
                         const std::string& programFolder);

// The extension files the catalogue reads, in order (the .ini whether it exists or not).
std::vector<std::string> ModelExtensionFiles(const std::string& programFileName, const std::string& programFolder);
// Appends the models of one file whose prefixes are not in models yet; a model (or the file)
// that cannot be read is left out with a line in problems naming the file and section; a wire
// bitmap that cannot be read gives a line naming it and the reason.
void ReadModelExtensionFile(const std::string& fileName, TModelList& models, std::vector<std::string>& problems);

// The real-number rule of the files: '.' and ',' both mark the decimals; an empty value
// keeps defaultValue; anything else that is not a number (or does not fit a 32-bit float)
// raises EConvertError "'%s' is not a valid floating point value".
float ValueToFloat(const std::string& value, float defaultValue);
void AssignIfNotEmpty(std::string& field, const std::string& value);
// The catalogue holds a model with exactly this prefix.
bool ModelLoaded(const TModelList& models, const std::string& prefix);
// Parses a "Section<n>" value ("Body, TEAM, TextureIs256x128") into the part's name, flags
// (section number n in bits 0-3) and texture size.
void ParseSectionValue(const std::string& value, int sectionNumber, std::string& name, uint32_t& flags, int& width,
                       int& height);

// The default position as the preview holds it.
struct TModelPosition {
  float ScaleX = 1, ScaleY = 1, ScaleZ = 1;
  float OffsetX = 0, OffsetY = 0, OffsetZ = 0;
  float Pitch = 0, Roll = 0, Turn = 0;
};

// Writes the nine values (five decimals) into the section named by modelKey ("file|section");
// every other line of the file stays as it was. Raises EInOutError when the file cannot be
// written. The caller reloads the catalogue afterwards.
void SaveModelPosition(const std::string& modelKey, const TModelPosition& position);
// Writes "Preset1".."PresetN" (name and six values with two decimals, separated by ';') and
// blanks the file's further preset keys, so the list read back ends after N. Characters that
// would break the line (';', line breaks) are replaced in names.
void SaveModelPresets(const std::string& modelKey, const std::vector<TCameraPreset>& presets);
