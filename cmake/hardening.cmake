# Release builds, and so both packages, get the hardening Debian builds its own packages with
# (what `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags` gives on Debian 12): lintian
# checks the .deb's executables for it. Sanitizer and fuzz builds keep their own instrumentation.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(release $<CONFIG:Release>)
add_compile_definitions($<${release}:_FORTIFY_SOURCE=2>)
add_compile_options($<${release}:-fstack-protector-strong> $<${release}:-fstack-clash-protection>
                    $<${release}:-Wformat> $<${release}:-Werror=format-security>)
add_link_options($<${release}:LINKER:-z,relro> $<${release}:LINKER:-z,now>)
