// SPDX-License-Identifier: Apache-2.0
#include "testkit/wrapper_test.h"

#include "driver/build_config.h"
#include "testkit/files.h"

namespace kit {

std::string lines(const std::vector<std::string> &elements) {
    std::string text;
    for (const std::string &element : elements) {
        text += element + "\n";
    }
    return text;
}

std::string fd_listing(const std::vector<int> &fds) {
    std::string text;
    for (int fd : fds) {
        text += "fd " + std::to_string(fd) + "\n";
    }
    return text;
}

void expect_run(const Launch &launch, const std::string &out, const std::string &err, int code) {
    SCOPED_TRACE(describe(launch));
    Outcome outcome = run_program(launch);
    EXPECT_FALSE(outcome.timed_out) << "killed after " << launch.timeout_ms << " ms";
    EXPECT_EQ(out, outcome.out);
    EXPECT_EQ(err, outcome.err);
    EXPECT_EQ(code, exit_code(outcome.wait_status)) << "raw wait status " << outcome.wait_status;
}

void WrapperTest::SetUp() {
    ScratchTest::SetUp();
    tree_ = build_install_tree(scratch_ + "/tree", built_programs());
}

Launch WrapperTest::wrapper(const std::string &name, const std::vector<std::string> &args,
                            const std::vector<EnvChange> &env) const {
    Launch launch;
    launch.executable = tree_.bin_dir + name + program_suffix;
    launch.argv.push_back(launch.executable);
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    launch.cwd = scratch_;
    set_env(launch, "PATH", scratch_ + "/no-such-directory");
    launch.env.insert(launch.env.end(), env.begin(), env.end());
    return launch;
}

void WrapperTest::provide(const std::string &prefix, const std::string &tool, bool plugin) const {
    make_dirs(prefix.substr(0, prefix.rfind('/')));
    copy_file(built_programs().tool, prefix + tool + program_suffix, 0755);
    if (plugin) {
        write_file(prefix + plugin_file_name, "");
    }
}

std::string WrapperTest::tool_output(const std::string &tool,
                                     const std::vector<std::string> &args) const {
    std::vector<std::string> argv = {tree_.tool_dir + tool + program_suffix, "--plugin",
                                     tree_plugin(tree_)};
    argv.insert(argv.end(), args.begin(), args.end());
    return lines(argv);
}

} // namespace kit
