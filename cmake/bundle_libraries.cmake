# Run by `cmake --install` for the portable archive: copies into the archive's lib/ and plugins/
# every library the executables and the Qt plugins they load need, from the build machine's
# Debian packages, and points their run paths at each other so that nothing is taken from the
# system but what every Linux desktop has. Expects bundle_qt_plugins (Qt's plugin folder).
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(executables ${root}/mirelay ${root}/mirelay-batch)

# The platforms the window can open on a desktop or without one, what xcb draws with, and the
# input methods through which Japanese is typed into the input boxes.
set(plugins)
foreach(plugin platforms/libqxcb.so platforms/libqoffscreen.so platforms/libqwayland-generic.so
        xcbglintegrations/libqxcb-glx-integration.so xcbglintegrations/libqxcb-egl-integration.so
        platforminputcontexts/libcomposeplatforminputcontextplugin.so
        platforminputcontexts/libibusplatforminputcontextplugin.so)
  if(EXISTS ${bundle_qt_plugins}/${plugin})
    get_filename_component(folder ${plugin} DIRECTORY)
    file(COPY ${bundle_qt_plugins}/${plugin} DESTINATION ${root}/plugins/${folder})
    list(APPEND plugins ${root}/plugins/${plugin})
  endif()
endforeach()

# Left to the system: the C library and the compiler's runtime (GL drivers loaded into the process
# need the system's own, which is at least as new), the GL and EGL drivers, the X11 and xcb
# protocol libraries the X server's clients all share, and the font libraries with the
# configuration that goes with them. The xcb utility libraries are not on every desktop.
file(GET_RUNTIME_DEPENDENCIES
     EXECUTABLES ${executables}
     MODULES ${plugins}
     RESOLVED_DEPENDENCIES_VAR libraries
     UNRESOLVED_DEPENDENCIES_VAR unresolved
     PRE_INCLUDE_REGEXES "^libxcb-(cursor|icccm|image|keysyms|render-util|util|ewmh)\\.so"
     PRE_EXCLUDE_REGEXES
       "^ld-linux" "^libc\\.so" "^libm\\.so" "^libdl\\.so" "^libpthread\\.so" "^librt\\.so"
       "^libresolv\\.so" "^libutil\\.so" "^libstdc\\+\\+\\.so" "^libgcc_s\\.so"
       "^libGL" "^libEGL\\.so" "^libOpenGL\\.so" "^libgbm\\.so" "^libdrm\\.so"
       "^libX11" "^libXau\\.so" "^libXdmcp\\.so" "^libXext\\.so" "^libXrender\\.so"
       "^libxcb\\.so" "^libxcb-"
       "^libfontconfig\\.so" "^libfreetype\\.so"
     POST_EXCLUDE_REGEXES "^/lib(64)?/ld-linux")
if(unresolved)
  message(FATAL_ERROR "portable archive: cannot find ${unresolved}")
endif()

file(MAKE_DIRECTORY ${root}/lib)
foreach(library ${libraries})
  # Under the soname the loader looks for, not the versioned file it links to.
  get_filename_component(name ${library} NAME)
  file(REAL_PATH ${library} real)
  file(COPY_FILE ${real} ${root}/lib/${name})
  execute_process(COMMAND patchelf --set-rpath $ORIGIN ${root}/lib/${name}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# DT_RPATH rather than RUNPATH on the executables: it also holds for the libraries' own
# dependencies and for the plugins Qt opens.
foreach(executable ${executables})
  execute_process(COMMAND patchelf --force-rpath --set-rpath $ORIGIN/lib ${executable}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(plugin ${plugins})
  execute_process(COMMAND patchelf --set-rpath $ORIGIN/../../lib ${plugin}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(WRITE ${root}/qt.conf "[Paths]\nPrefix = .\nPlugins = plugins\n")
