// The library's exports: class objects for its seven classes, the unload
// check, and registration from its scripts and type library.
#include <string>

#include "audio/globals.h"
#include "audio/ogg_vorbis_file.h"
#include "audio/ogg_vorbis_reader.h"
#include "audio/wav.h"
#include "audio/wav_file.h"
#include "audio/wav_file_reader.h"
#include "audio/wav_memory_reader.h"
#include "com/server.h"

namespace {

// The application identifier's script.
const char kAppIdScript[] = R"(
HKCR
{
    NoRemove AppID
    {
        '%APPID%' = s 'OvraAudio'
        'OvraAudio.DLL'
        {
            val AppID = s '%APPID%'
        }
    }
}
)";

// The script every class registers with: its two ProgIDs and its CLSID key.
std::string ClassScript(const CoclassDesc& c) {
    const std::string progId = std::string("OvraAudio.") + c.name;
    const std::string version = progId + ".1";
    const std::string clsid = GuidToString(c.clsid);
    const std::string desc = c.help;
    const std::string lib = GuidToString(OvraAudioTypeLib().libid);
    return "HKCR\n{\n"
           "    " +
           version + " = s '" + desc +
           "'\n    {\n"
           "        CLSID = s '" +
           clsid +
           "'\n    }\n"
           "    " +
           progId + " = s '" + desc +
           "'\n    {\n"
           "        CLSID = s '" +
           clsid +
           "'\n"
           "        CurVer = s '" +
           version +
           "'\n    }\n"
           "    NoRemove CLSID\n    {\n"
           "        ForceRemove " +
           clsid + " = s '" + desc +
           "'\n        {\n"
           "            ProgID = s '" +
           version +
           "'\n"
           "            VersionIndependentProgID = s '" +
           progId +
           "'\n"
           "            ForceRemove 'Programmable'\n"
           "            InprocServer32 = s '%MODULE%'\n            {\n"
           "                val ThreadingModel = s 'Both'\n            }\n"
           "            val AppID = s '%APPID%'\n"
           "            'TypeLib' = s '" +
           lib +
           "'\n"
           "        }\n    }\n}\n";
}

// Objects made directly through a class object start empty: no audio,
// no file, at their end.
template <class T>
HRESULT CreateEmpty(REFIID riid, void** ppv) {
    return CreateInstanceOf<T>(riid, ppv);
}

const ServerDesc& Server() {
    static const std::string scripts[] = {
        ClassScript(GlobalsClass()),        ClassScript(WavFileClass()),
        ClassScript(WavFileReaderClass()),  ClassScript(WavClass()),
        ClassScript(OggVorbisFileClass()),  ClassScript(OggVorbisFileReaderClass()),
        ClassScript(WavMemoryReaderClass())};
    static const ServerDesc server{
        &OvraAudioTypeLib(),
        APPID_OvraAudio,
        kAppIdScript,
        {{&GlobalsClass(), &CreateEmpty<OvraAudioGlobals>, scripts[0].c_str()},
         {&WavFileClass(), &CreateEmpty<WavFile>, scripts[1].c_str()},
         {&WavFileReaderClass(), &CreateEmpty<WavFileReader>, scripts[2].c_str()},
         {&WavClass(), &CreateEmpty<Wav>, scripts[3].c_str()},
         {&OggVorbisFileClass(), &CreateEmpty<OggVorbisFile>, scripts[4].c_str()},
         {&OggVorbisFileReaderClass(), &CreateEmpty<OggVorbisFileReader>, scripts[5].c_str()},
         {&WavMemoryReaderClass(), &CreateEmpty<WavMemoryReader>, scripts[6].c_str()}}};
    return server;
}

}  // namespace

OVRA_SERVER_EXPORTS(Server)
