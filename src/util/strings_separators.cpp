// Path separators between the operating system's '\' and URLs' '/'.
#include <vqx/strings.h>

#include <algorithm>

namespace vqx {

extern "C" {

vqx_wstring VQX_CALL vqx_convert_path_to_os_accepted_path(const vqx_wstring& path) {
    vqx_wstring result(path);
    std::replace(result.begin(), result.end(), L'/', L'\\');
    return result;
}

vqx_wstring VQX_CALL vqx_convert_path_to_url_accepted_path(const vqx_wstring& path) {
    vqx_wstring result(path);
    std::replace(result.begin(), result.end(), L'\\', L'/');
    return result;
}

}  // extern "C"
}  // namespace vqx
