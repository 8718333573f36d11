#include "import/drum_kit.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "import/input_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

namespace {

struct Layer {
    std::string file;
    double min = 0, max = 1;
};

// The parse: a stack of element names, the text of the element being read,
// and the instruments found so far.
struct Reader {
    std::vector<std::string> path;
    std::string text;
    std::string kitName;
    struct Instrument {
        std::string name, file;
        int note = -1;
        std::vector<Layer> layers;
    };
    std::vector<Instrument> instruments;
    bool sawRoot = false;

    bool Under(const char* parent) const {
        return path.size() >= 2 && path[path.size() - 2] == parent;
    }
};

double Number(const std::string& text, double fallback) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != text.c_str() ? v : fallback;
}

void XMLCALL Start(void* data, const XML_Char* element, const XML_Char**) {
    auto& r = *static_cast<Reader*>(data);
    const std::string name = element;
    r.path.push_back(name);
    r.text.clear();
    if (r.path.size() == 1) r.sawRoot = name == "drumkit_info";
    if (name == "instrument" && r.Under("instrumentList")) r.instruments.emplace_back();
    if (name == "layer" && !r.instruments.empty()) r.instruments.back().layers.emplace_back();
}

void XMLCALL End(void* data, const XML_Char*) {
    auto& r = *static_cast<Reader*>(data);
    const std::string name = r.path.back();
    const bool inLayer = r.Under("layer");
    const bool inInstrument = r.Under("instrument");
    if (name == "name" && r.path.size() == 2) r.kitName = r.text;
    if (!r.instruments.empty()) {
        auto& instrument = r.instruments.back();
        if (inInstrument && name == "name") instrument.name = r.text;
        if (inInstrument && name == "filename") instrument.file = r.text;
        if (inInstrument && name == "midiOutNote") {
            // A note out of MIDI's range gives the track the default one.
            const double note = Number(r.text, -1);
            instrument.note = note >= 0 && note <= 127 && note == int(note) ? int(note) : -1;
        }
        if (inLayer && !instrument.layers.empty()) {
            Layer& layer = instrument.layers.back();
            if (name == "filename") layer.file = r.text;
            if (name == "min") layer.min = Number(r.text, 0);
            if (name == "max") layer.max = Number(r.text, 1);
        }
    }
    r.path.pop_back();
    r.text.clear();
}

void XMLCALL Text(void* data, const XML_Char* s, int length) {
    static_cast<Reader*>(data)->text.append(s, std::size_t(length));
}

std::string Trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    const std::size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

}  // namespace

DrumKit ParseDrumKit(const std::string& text, const std::string& folder, const std::string& name) {
    Reader r;
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                        &XML_ParserFree);
    if (!parser) ThrowError(kErrOutOfMemory, "Out of memory");
    XML_SetUserData(parser.get(), &r);
    XML_SetElementHandler(parser.get(), Start, End);
    XML_SetCharacterDataHandler(parser.get(), Text);
    if (text.size() > 0x7FFFFFFF ||
        XML_Parse(parser.get(), text.data(), int(text.size()), 1) != XML_STATUS_OK)
        ThrowError(kErrInvalidFileFormat,
                   Quoted(name) +
                       " is not a drum kit: " + XML_ErrorString(XML_GetErrorCode(parser.get())) +
                       " at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())));
    if (!r.sawRoot)
        ThrowError(kErrInvalidFileFormat,
                   Quoted(name) + " is not a drum kit: it does not start with <drumkit_info>");

    DrumKit kit;
    kit.name = Trimmed(r.kitName);
    for (const auto& in : r.instruments) {
        // The layer for the velocity, else the one for the loudest.
        const Layer *covering = nullptr, *loudest = nullptr;
        for (const Layer& l : in.layers) {
            if (Trimmed(l.file).empty()) continue;
            if (!covering && l.min <= kDrumKitVelocity && kDrumKitVelocity <= l.max) covering = &l;
            if (!loudest || l.max > loudest->max) loudest = &l;
        }
        const Layer* chosen = covering ? covering : loudest;
        std::string file = chosen ? Trimmed(chosen->file) : Trimmed(in.file);
        if (file.empty()) continue;
        const std::string named = file;
        if (file[0] != '/') file = CombinePath(folder, file);
        // A kit brings its own sounds: a file outside its folder (by an
        // absolute path, "..", or a link) is none of its own.
        if (!InsideFolder(file, folder)) {
            kit.outside.push_back(Trimmed(in.name) + " (" + named + ")");
            continue;
        }
        kit.instruments.push_back({Trimmed(in.name), file, in.note});
    }
    return kit;
}

DrumKit ReadDrumKit(const std::string& path) {
    // A kit names files; a megabyte of text is far more than any kit needs.
    const std::string text = ReadInputFile(path, 1 << 20, "a drum kit");
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    return ParseDrumKit(text, folder, FileNameOfPath(path));
}
