/* The distribution's stb_vorbis, compiled here so that the fuzz targets'
   sanitizers and coverage see inside the decoder. The programs link the
   distribution's library instead. */
#include <stb_vorbis.h>
