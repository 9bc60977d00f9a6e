#include "setup/run.h"

#include "install/install.h"
#include "platform/text.h"
#include "setup/command_line.h"
#include "setup/driver_package.h"
#include "setup/windows_path.h"

namespace orvane {
namespace {

constexpr std::size_t INITIAL_PATH_UNITS = 260;

std::u16string trim_trailing_space(std::u16string text) {
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' || text.back() == u'\t')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

SetupResult<std::u16string> executable_path(Process& process) {
  std::u16string buffer(INITIAL_PATH_UNITS, u'\0');
  while (true) {
    const ModuleFileName result = process.module_file_name(buffer);
    if (result.length == 0) {
      return setup_failure(utf16_to_utf8(trim_trailing_space(process.system_error_text(result.error))) +
                           " (os error " + decimal(result.error) + ")");
    }
    if (result.length < buffer.size()) {
      buffer.resize(result.length);
      return buffer;
    }
    buffer.assign(buffer.size() * 2, u'\0');  // truncated: Windows filled the whole buffer
  }
}

SetupResult<std::u16string> application_folder(std::u16string_view executable) {
  const std::size_t prefix = path_prefix_length(executable);
  const std::size_t base = prefix + (prefix < executable.size() && is_path_separator(executable[prefix]) ? 1 : 0);

  std::size_t end = executable.size();
  while (end > base && is_path_separator(executable[end - 1])) --end;
  if (end == base) return setup_failure("missing application folder");

  std::size_t parent_end = end;
  while (parent_end > base && !is_path_separator(executable[parent_end - 1])) --parent_end;
  while (parent_end > base && is_path_separator(executable[parent_end - 1])) --parent_end;
  if (parent_end == 0) return setup_failure("missing application folder");
  return std::u16string(executable.substr(0, parent_end));
}

std::u16string driver_package_folder(std::u16string_view application_folder) {
  return join_path(application_folder, utf8_to_utf16(DRIVER_PACKAGE_DIR));
}

SetupResult<RebootRequired> act_on_cable_status(const CableStatus& vb_cable,
                                                const std::function<SetupResult<RebootRequired>()>& install) {
  switch (vb_cable.kind) {
    case CableStatusKind::NotInstalled:
      return install();
    case CableStatusKind::EndpointsMissing:
    case CableStatusKind::RestartRequired:
      return true;
    case CableStatusKind::Problem:
      return setup_failure(vb_cable.message);
    case CableStatusKind::Ready:
      return false;
  }
  return setup_failure("unknown cable status");
}

SetupResult<RebootRequired> run_driver_setup(Platform& platform, const EndpointLister& list_endpoints,
                                             std::string_view manifest_text) {
  if (count_command_line_elements(platform.process.command_line()) != 1) {
    return setup_failure("driver setup takes no arguments");
  }
  const auto executable = executable_path(platform.process);
  if (!executable) return std::unexpected(executable.error());
  const auto folder = application_folder(*executable);
  if (!folder) return std::unexpected(folder.error());
  const std::u16string package_folder = driver_package_folder(*folder);

  if (auto verified = verify_driver_package(platform.process, package_folder, manifest_text); !verified) {
    return std::unexpected(verified.error());
  }
  const auto report = detect_cable_endpoints(platform.config, platform.com, list_endpoints);
  if (!report) return setup_failure(report.error());

  return act_on_cable_status(report->vb_cable.status, [&] {
    return install_cable_driver(platform.setup, platform.config, package_folder);
  });
}

std::string error_line(const SetupError& error) {
  std::string line(ERROR_LINE_PREFIX);
  line += error.message;
  line += '\n';
  return line;
}

std::uint32_t exit_status(const SetupResult<RebootRequired>& result) {
  if (!result) return EXIT_FAILURE_STATUS;
  return *result ? EXIT_REBOOT_REQUIRED_STATUS : EXIT_SUCCESS_STATUS;
}

std::uint32_t finish_run(Process& process, const SetupResult<RebootRequired>& result) {
  if (!result) process.write_standard_error(error_line(result.error()));
  return exit_status(result);
}

}  // namespace orvane
