# The mail library: libcurl for the Windows target, compiled from Debian's source package once
# per build folder (it stays in build/<preset>/curl). Static, Schannel for TLS, no CA file or
# folder (the system store), every protocol but SMTP off; HTTP stays because Debian's patches
# do not link without it. Third-party code: built with its own flags, not ours.
include(ExternalProject)

set(curl_prefix ${CMAKE_BINARY_DIR}/curl)
set(curl_source ${curl_prefix}/source)
set(curl_library ${curl_prefix}/build/lib/libcurl.a)

set(curl_off)
foreach(protocol FTP FILE LDAP LDAPS TELNET DICT TFTP RTSP POP3 IMAP GOPHER MQTT SMB)
    list(APPEND curl_off -DCURL_DISABLE_${protocol}=ON)
endforeach()

ExternalProject_Add(curl_build
    PREFIX ${curl_prefix}
    SOURCE_DIR ${curl_source}
    BINARY_DIR ${curl_prefix}/build
    DOWNLOAD_COMMAND ${CMAKE_SOURCE_DIR}/tools/fetch-curl-source ${curl_source}
    UPDATE_COMMAND ""
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release
        -DBUILD_SHARED_LIBS=OFF
        -DBUILD_CURL_EXE=OFF
        -DBUILD_TESTING=OFF
        -DENABLE_MANUAL=OFF
        -DPICKY_COMPILER=OFF
        -DCURL_WERROR=OFF
        -DCURL_ENABLE_EXPORT_TARGET=OFF
        -DCURL_USE_SCHANNEL=ON
        -DCURL_USE_OPENSSL=OFF
        -DCURL_CA_BUNDLE=none
        -DCURL_CA_PATH=none
        -DCURL_ZLIB=OFF
        -DCURL_BROTLI=OFF
        -DCURL_ZSTD=OFF
        -DUSE_LIBIDN2=OFF
        -DCURL_USE_LIBPSL=OFF
        -DCURL_USE_LIBSSH2=OFF
        -DENABLE_UNIX_SOCKETS=OFF
        -DCURL_DISABLE_ALTSVC=ON
        -DCURL_DISABLE_HSTS=ON
        -DCURL_DISABLE_COOKIES=ON
        ${curl_off}
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${curl_library}
)

# The include folder must exist when the build is configured; the source arrives at build time.
file(MAKE_DIRECTORY ${curl_source}/include)
add_library(tw_curl STATIC IMPORTED GLOBAL)
set_target_properties(tw_curl PROPERTIES IMPORTED_LOCATION ${curl_library})
target_include_directories(tw_curl SYSTEM INTERFACE ${curl_source}/include)
target_compile_definitions(tw_curl INTERFACE CURL_STATICLIB)
target_link_libraries(tw_curl INTERFACE ws2_32 crypt32 bcrypt secur32 advapi32)
add_dependencies(tw_curl curl_build)
