# What `dpkg-buildflags` gives a Debian package with all hardening on:
# fortified library calls, stack protector and stack clash protection,
# control-flow protection, position-independent executables and a read-only
# relocation table resolved at start-up. The flags a compiler does not know
# (-fcf-protection off x86) are left out.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

add_compile_definitions(_FORTIFY_SOURCE=2)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "TAKT_HAS${flag}" var)
  check_cxx_compiler_flag(${flag} ${var})
  if(${var})
    add_compile_options(${flag})
  endif()
endforeach()

check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_link_options(-Wl,-z,relro -Wl,-z,now)
