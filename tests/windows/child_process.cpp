#include "tests/windows/child_process.h"

#include <thread>

namespace orvane::test {
namespace {

using windows::KernelHandle;
using windows::wide;

struct Pipe {
  KernelHandle read;
  KernelHandle write;
};

// The child's end is inherited, the parent's end is not: a child started later must not keep
// another child's pipe open.
std::expected<Pipe, std::string> make_pipe(bool child_reads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Pipe pipe;
  if (CreatePipe(pipe.read.receive(), pipe.write.receive(), &inherit, 0) == 0) {
    return std::unexpected("CreatePipe failed: " + std::to_string(GetLastError()));
  }
  const HANDLE parent_end = child_reads ? pipe.write.get() : pipe.read.get();
  if (SetHandleInformation(parent_end, HANDLE_FLAG_INHERIT, 0) == 0) {
    return std::unexpected("SetHandleInformation failed: " + std::to_string(GetLastError()));
  }
  return pipe;
}

// Reads until the writers have all gone.
std::string read_all(HANDLE pipe) {
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) != 0 && read != 0) bytes.append(buffer, read);
  return bytes;
}

struct Started {
  KernelHandle process;
  KernelHandle thread;
};

std::expected<Started, std::string> start(const std::u16string& application, const std::u16string& command_line,
                                          HANDLE input, HANDLE output, HANDLE error) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION info{};
  std::u16string mutable_line = command_line;  // CreateProcessW may write to it
  if (CreateProcessW(wide(application.c_str()), const_cast<wchar_t*>(wide(mutable_line.c_str())), nullptr, nullptr,
                     TRUE, 0, nullptr, nullptr, &startup, &info) == 0) {
    return std::unexpected("CreateProcessW failed: " + std::to_string(GetLastError()));
  }
  return Started{KernelHandle(info.hProcess), KernelHandle(info.hThread)};
}

}  // namespace

std::u16string quoted(const std::u16string& path) { return u"\"" + path + u"\""; }

std::expected<ChildOutcome, std::string> run_child(const std::u16string& application,
                                                   const std::u16string& command_line,
                                                   std::chrono::milliseconds timeout) {
  auto input = make_pipe(true);
  auto output = make_pipe(false);
  auto error = make_pipe(false);
  if (!input) return std::unexpected(input.error());
  if (!output) return std::unexpected(output.error());
  if (!error) return std::unexpected(error.error());

  auto child = start(application, command_line, input->read.get(), output->write.get(), error->write.get());
  // Only the child holds its ends now, so the reads below end when it does.
  input->read.reset();
  output->write.reset();
  error->write.reset();
  input->write.reset();  // an empty standard input
  if (!child) return std::unexpected(child.error());

  ChildOutcome outcome;
  std::thread output_reader([&] { outcome.standard_output = read_all(output->read.get()); });
  std::thread error_reader([&] { outcome.standard_error = read_all(error->read.get()); });
  const DWORD waited = WaitForSingleObject(child->process.get(), static_cast<DWORD>(timeout.count()));
  if (waited != WAIT_OBJECT_0) TerminateProcess(child->process.get(), 1);
  output_reader.join();
  error_reader.join();
  if (waited != WAIT_OBJECT_0) return std::unexpected("the child did not end in time");

  DWORD code = 0;
  if (GetExitCodeProcess(child->process.get(), &code) == 0) {
    return std::unexpected("GetExitCodeProcess failed: " + std::to_string(GetLastError()));
  }
  outcome.exit_code = code;
  return outcome;
}

std::expected<HeldFile, std::string> HeldFile::hold(const std::u16string& child_program, const std::u16string& path,
                                                    Sharing sharing) {
  auto input = make_pipe(true);
  auto output = make_pipe(false);
  if (!input) return std::unexpected(input.error());
  if (!output) return std::unexpected(output.error());
  const std::u16string mode = sharing == Sharing::None ? u"none" : u"all";
  const std::u16string line = quoted(child_program) + u" hold " + mode + u" " + quoted(path);
  auto child = start(child_program, line, input->read.get(), output->write.get(), GetStdHandle(STD_ERROR_HANDLE));
  input->read.reset();
  output->write.reset();
  if (!child) return std::unexpected(child.error());

  HeldFile held;
  held.process_ = std::move(child->process);
  held.input_ = std::move(input->write);
  // The child writes one line once the file is open, or its failure, and keeps the pipe open.
  std::string reply;
  char unit = 0;
  DWORD read = 0;
  while (reply.find('\n') == std::string::npos && ReadFile(output->read.get(), &unit, 1, &read, nullptr) != 0 &&
         read == 1) {
    reply.push_back(unit);
  }
  if (reply != "held\n") return std::unexpected("the child could not hold the file: " + reply);
  return held;
}

HeldFile::~HeldFile() {
  input_.reset();
  if (process_.valid()) WaitForSingleObject(process_.get(), 30000);
}

}  // namespace orvane::test
