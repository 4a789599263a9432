# Everything a distribution ships beside the programs: manual pages, shell
# completions, the metainfo, the licence and the history; then the Debian
# package built from the same install rules (`cpack -G DEB`).

if(MV_BUILD_GUI)
    set(MV_PACKAGE_NAME marrowvale)
else()
    set(MV_PACKAGE_NAME marrowvale-cli)
endif()
set(MV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${MV_PACKAGE_NAME})
set(MV_DEBIAN_RELEASE 1)
set(MV_MAINTAINER "The Marrowvale developers <${MV_SUPPORT_EMAIL}>")
# The Debian changelog wants the release date in RFC 2822 form.
execute_process(COMMAND date -u -R -d "${MV_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MV_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE mv_date_result)
if(NOT mv_date_result EQUAL 0)
    set(MV_RELEASE_DATE_RFC2822 "${MV_RELEASE_DATE}")
endif()

set(mv_generated ${CMAKE_BINARY_DIR}/packaging)

# Files that carry the version: filled in from the project's version and
# date, and compressed as Debian ships manual pages and changelogs.
set(mv_gzipped)
function(mv_configure_gzipped template name)
    configure_file(${template} ${mv_generated}/${name} @ONLY)
    add_custom_command(OUTPUT ${mv_generated}/${name}.gz
        COMMAND gzip -9nkf ${mv_generated}/${name}
        DEPENDS ${mv_generated}/${name}
        COMMENT "Compressing ${name}")
    set(mv_gzipped ${mv_gzipped} ${mv_generated}/${name}.gz PARENT_SCOPE)
endfunction()

mv_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/man/marrowvale-cli.1.in marrowvale-cli.1)
install(FILES ${mv_generated}/marrowvale-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(MV_BUILD_GUI)
    mv_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/man/marrowvale.1.in marrowvale.1)
    install(FILES ${mv_generated}/marrowvale.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    configure_file(${CMAKE_SOURCE_DIR}/resources/${MV_APP_ID}.metainfo.xml.in
                   ${mv_generated}/${MV_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${mv_generated}/${MV_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

mv_configure_gzipped(${CMAKE_SOURCE_DIR}/CHANGELOG.md changelog)
mv_configure_gzipped(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in changelog.Debian)
add_custom_target(packaging_files ALL DEPENDS ${mv_gzipped})
install(FILES ${mv_generated}/changelog.gz ${mv_generated}/changelog.Debian.gz
              ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${MV_DOC_DIR})

set(mv_completions ${CMAKE_SOURCE_DIR}/packaging/completions)
install(FILES ${mv_completions}/marrowvale-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME marrowvale-cli)
# zsh reads packaged completions from vendor-completions under /usr (as
# Debian sets it up) and from site-functions under any other prefix; the
# prefix is known only when installing (cpack installs under /usr).
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(mv_zsh_dir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions\")
    else()
        set(mv_zsh_dir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/site-functions\")
    endif()
    file(INSTALL DESTINATION \"\${mv_zsh_dir}\" TYPE FILE FILES \"${mv_completions}/_marrowvale-cli\")
")
install(FILES ${mv_completions}/marrowvale-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

# The Python module for engine users, where the system's python3 looks:
# Debian's dist-packages under /usr, the versioned site folder of /usr/local
# (and of any other prefix, which then goes on PYTHONPATH).
find_program(MV_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
set(mv_python_version python3)
if(MV_SYSTEM_PYTHON3)
    execute_process(COMMAND ${MV_SYSTEM_PYTHON3} -c
                        "import sys; print('python%d.%d' % sys.version_info[:2])"
                    OUTPUT_VARIABLE mv_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(mv_python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/python3/dist-packages\")
    else()
        set(mv_python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/${mv_python_version}/dist-packages\")
    endif()
    file(INSTALL DESTINATION \"\${mv_python_dir}\" TYPE DIRECTORY
         FILES \"${CMAKE_SOURCE_DIR}/python/marrowvale\" FILES_MATCHING PATTERN \"*.py\")
")

# The Debian package: one for the whole program, or marrowvale-cli alone for
# servers and containers; each replaces the other.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "The Marrowvale developers")
set(CPACK_PACKAGE_CONTACT ${MV_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${MV_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module needs the interpreter; the programs do not.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS python3)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(mv_description_tail
    "The conversion is a fixed text transformation with a byte-exact output,\n"
    "streamed, so files of any size convert in a few megabytes of memory.\n"
    "It includes a lenient JSON reader and a JSON script evaluator.")
if(MV_BUILD_GUI)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter from XML files to JSON text")
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Marrowvale converts many XML files into JSON text files at once: a Qt\n"
        "window to collect the files and follow the run, and marrowvale-cli\n"
        "for scripts and servers.\n" ${mv_description_tail})
    # The window draws its captions in Liberation Sans (Arial's metrics);
    # another sans is wider and cuts the longest caption's last word.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS marrowvale-cli)
    set(CPACK_DEBIAN_PACKAGE_REPLACES marrowvale-cli)
else()
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter from XML files to JSON text (CLI)")
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "The command-line program marrowvale-cli converts many XML files into\n"
        "JSON text files at once, for scripts, servers and containers; it needs\n"
        "no display and no Qt.\n"
        ${mv_description_tail})
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS marrowvale)
    set(CPACK_DEBIAN_PACKAGE_REPLACES marrowvale)
endif()
include(CPack)
