// The examples of docs/ that are marked to run, run as a reader would: a line "<!-- run -->" (or
// "<!-- run: exit N -->") before a fenced block marks it. A block of `sh` is a script; the fenced block
// right after it, if any, is its output. Any other block starts with "$ COMMAND" and goes on with the
// output. Each script runs in a new folder with the built tools first on the PATH; every output line
// shown must come out (times of day and the numbers of a summary line vary from run to run and are
// compared as placeholders).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Example {
    std::string Where; // file:line
    std::string Script;
    std::vector<std::string> Output;
    int Exit = 0;
};

// The lines of a fenced block that starts at `at` (the fence line); `at` ends past the closing fence.
std::vector<std::string> Block(const std::vector<std::string>& lines, std::size_t& at) {
    std::vector<std::string> body;
    for (++at; at < lines.size() && !lines[at].starts_with("```"); ++at) body.push_back(lines[at]);
    ++at;
    return body;
}

std::vector<Example> Examples(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<Example> examples;
    const std::regex marker(R"(^<!-- run(: exit (\d+))? -->$)");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        std::smatch match;
        if (!std::regex_match(lines[i], match, marker) || !lines[i + 1].starts_with("```")) continue;
        Example example;
        example.Where = file.filename().string() + ":" + std::to_string(i + 1);
        if (match[2].matched) example.Exit = std::stoi(match[2].str());
        std::size_t at = i + 1;
        const bool script = lines[at] == "```sh";
        std::vector<std::string> body = Block(lines, at);
        if (script) {
            for (const std::string& line : body) example.Script += line + "\n";
            while (at < lines.size() && lines[at].empty()) ++at;
            if (at < lines.size() && lines[at] == "```") example.Output = Block(lines, at);
        } else if (!body.empty() && body.front().starts_with("$ ")) {
            example.Script = body.front().substr(2) + "\n";
            example.Output.assign(body.begin() + 1, body.end());
        }
        examples.push_back(example);
        i = at - 1;
    }
    return examples;
}

std::string Comparable(std::string line) {
    line = std::regex_replace(line, std::regex(R"(\b\d\d:\d\d:\d\d\.\d\d\d\b)"), "HH:MM:SS.mmm");
    if (line.starts_with("summary: ")) line = std::regex_replace(line, std::regex(R"(\d+(\.\d+)?)"), "N");
    return line;
}

TEST(DocExamples, EveryMarkedExampleRunsAsShown) {
    int examples = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(KORAX_SOURCE_DIR) / "docs")) {
        if (entry.path().extension() != ".md") continue;
        for (const Example& example : Examples(entry.path())) {
            ++examples;
            ASSERT_FALSE(example.Script.empty()) << example.Where << ": a marked block without a command";
            const fs::path folder = fs::temp_directory_path() / ("korax_doc_" + std::to_string(examples));
            fs::remove_all(folder);
            fs::create_directories(folder);
            std::ofstream(folder / "example.sh") << example.Script;
            const std::string command = "cd '" + folder.string() + "' && PATH='" + KORAX_BIN_DIR +
                                        "':\"$PATH\" sh -e example.sh 2>&1";
            FILE* pipe = popen(command.c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            std::string out;
            char buffer[4096];
            while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
            const int status = pclose(pipe);
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, example.Exit) << example.Where << "\n"
                                                                                  << out;
            std::vector<std::string> actual;
            std::istringstream stream(out);
            for (std::string line; std::getline(stream, line);) actual.push_back(Comparable(line));
            for (const std::string& line : example.Output) {
                if (line.empty()) continue;
                EXPECT_NE(std::find(actual.begin(), actual.end(), Comparable(line)), actual.end())
                    << example.Where << ": the docs show\n  " << line << "\nbut the run gave\n"
                    << out;
            }
            fs::remove_all(folder);
        }
    }
    EXPECT_GE(examples, 3) << "the markers are gone";
}

} // namespace
