// Registration scripts, in the registrar syntax that in-process servers
// carry:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Wav Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Both'
//               }
//           }
//       }
//   }
//
// Keys may carry a default string value (= s '...'), named values are set
// with "val Name = s '...'", and %NAME% is replaced from the given table
// (%% is a percent sign). On registration ForceRemove deletes a key before
// it is created again and Delete removes a key; on unregistration every key
// the script names is removed unless it is marked NoRemove (a key that still
// holds subkeys of others stays), and ForceRemove keys go with everything
// below them.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "com/hresult.h"
#include "com/registry.h"

using ScriptReplacements = std::map<std::string, std::string>;

// Checks and runs a script against reg; nothing changes when it is malformed.
HRESULT RunRegistrarScript(std::string_view script, const ScriptReplacements& replacements,
                           bool registering, Registry& reg, std::string* error);
