# Libraries from Debian's packages (scripts/install-deps.sh installs them).

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
# The X library itself, for the error handler that SDL passes X errors on to.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile vorbis ogg)
# The MIDI synthesiser behind the platform's MIDI output.
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)

if(QUARN_TESTS AND NOT QUARN_FUZZ)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if((QUARN_TESTS OR QUARN_BENCH) AND NOT QUARN_FUZZ)
  # Outside reference decoder for the MPEG audio tests and benchmarks
  # (libavcodec's MP1, MP2 and MP3 decoders).
  pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)
  # Makes the Ogg Vorbis streams of the sound tests.
  pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc)
endif()
if(QUARN_BENCH AND NOT QUARN_FUZZ)
  find_package(benchmark REQUIRED)
  pkg_check_modules(LZ4 IMPORTED_TARGET liblz4)
  # Outside reference for the image operation benchmarks only.
  pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
  # Outside reference for the TGA decoder benchmark only.
  pkg_check_modules(STB IMPORTED_TARGET stb)
endif()
