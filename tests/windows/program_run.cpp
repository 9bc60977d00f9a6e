#include "tests/windows/program_run.h"

#include "setup/run.h"
#include "tests/windows/test_files.h"

namespace orvane::test {

InstalledProgram::InstalledProgram(const std::u16string& program, const std::u16string& application_folder)
    : path_(application_folder + u"\\orvane-driver-setup.exe"), application_folder_(application_folder) {
  copied_ = make_folders(application_folder) && copy_file(program, path_);
}

std::u16string InstalledProgram::package_folder() const { return driver_package_folder(application_folder_); }

std::expected<ChildOutcome, std::string> InstalledProgram::run(const std::u16string& arguments) const {
  return run_child(path_, quoted(path_) + arguments);
}

}  // namespace orvane::test
