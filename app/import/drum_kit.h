// Drum kits as the drum machines of Linux describe them: a folder with the
// samples and a drumkit.xml naming each instrument and, for each, one or
// more layers (a sample for a range of velocities).
//
//   <drumkit_info>
//     <name>Kit</name>
//     <instrumentList>
//       <instrument>
//         <name>Kick</name>
//         <midiOutNote>36</midiOutNote>  (optional: the note that plays it)
//         <instrumentComponent>          (or the layers right here, or a
//           <layer>                       <filename> of the instrument's own)
//             <filename>kick.wav</filename>
//             <min>0</min> <max>1</max>
//           </layer>
//   ...
#pragma once

#include <string>
#include <vector>

struct DrumKit {
    struct Instrument {
        std::string name;
        std::string sample;  // the path of the chosen layer's file
        int note = -1;       // the MIDI note the kit gives it (0 to 127); -1: none
    };
    std::string name;
    std::vector<Instrument> instruments;  // in the kit's order
    // Instruments left out because their file lies outside the kit's
    // folder: "name (file as named)".
    std::vector<std::string> outside;
};

// The velocity whose layer is taken; without one that covers it, the
// layer for the loudest velocities.
constexpr double kDrumKitVelocity = 0.8;

// Reads the kit described by the file at path; sample paths are made
// relative to its folder. Instruments without a sample are left out, and
// so are those whose sample lies outside the kit's folder (listed).
// Throws AppError naming the file: 53 when it does not exist, 321 when it
// is no drum-kit description (with what is wrong and where).
DrumKit ReadDrumKit(const std::string& path);
// The same for a description held in text, from the folder given.
DrumKit ParseDrumKit(const std::string& text, const std::string& folder, const std::string& name);
