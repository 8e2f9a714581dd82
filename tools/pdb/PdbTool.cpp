#include "pdb/PdbTool.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>

#include "common/ExitCodes.h"
#include "common/FileIo.h"
#include "common/Version.h"
#include "pdb/BlockFields.h"
#include "pdb/BlockJson.h"
#include "pdb/BlockTable.h"

namespace korax::tools::pdb {

namespace {

// What the command line gives the subcommands.
struct PdbArguments {
    std::string File;
    std::string Output;
    std::string TemplateFile;
    bool Force = false;
    bool Raw = false;
    std::optional<int> Slot;
    std::vector<std::string> Assignments;
};

std::unique_ptr<DevicePDB> ZeroBlock() {
    auto block = std::make_unique<DevicePDB>();
    std::memset(block.get(), 0, sizeof(DevicePDB));
    return block;
}

Result<std::unique_ptr<DevicePDB>> ReadBlock(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return bytes.Error();
    if (bytes->size() != sizeof(DevicePDB)) {
        return Failure{path + ": " + std::to_string(bytes->size()) + " bytes; a parameter block has " +
                       std::to_string(sizeof(DevicePDB))};
    }
    auto block = std::make_unique<DevicePDB>();
    std::memcpy(block.get(), bytes->data(), sizeof(DevicePDB));
    return block;
}

Status WriteBlock(const std::string& path, const DevicePDB& block) {
    return WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(&block), sizeof block));
}

Status Create(const PdbArguments& args, std::ostream& out) {
    if (FileExists(args.File) && !args.Force) return Failure{args.File + " exists; --force replaces it"};
    auto block = ZeroBlock();
    config::FillDefaultPDB(*block);
    if (const Status written = WriteBlock(args.File, *block); !written) return written;
    const config::BoardEntry& first = block->Boards[0];
    char base[16];
    std::snprintf(base, sizeof base, "0x%X", static_cast<unsigned>(first.BaseAddress));
    out << "wrote " << args.File << ": factory defaults, one "
        << config::ShortStringText(first.DevName, config::DevNameSize) << " at " << base << " in slot 0\n";
    return {};
}

Status Show(const PdbArguments& args, std::ostream& out) {
    const auto block = ReadBlock(args.File);
    if (!block) return block.Error();
    out << "parameter block " << args.File << "\n" << BlockTable(**block);
    return {};
}

Status ToJson(const PdbArguments& args, std::ostream& out) {
    const auto block = ReadBlock(args.File);
    if (!block) return block.Error();
    const std::string text = BlockToJson(**block);
    if (args.Output.empty()) {
        out << text;
        return {};
    }
    if (const Status written = WriteWholeFile(args.Output, text); !written) return written;
    out << "wrote " << args.Output << "\n";
    return {};
}

Status FromJson(const PdbArguments& args, std::ostream& out) {
    const auto text = ReadTextFile(args.File);
    if (!text) return text.Error();
    auto block = args.TemplateFile.empty() ? Result<std::unique_ptr<DevicePDB>>(ZeroBlock())
                                           : ReadBlock(args.TemplateFile);
    if (!block) return block.Error();
    if (const Status taken = BlockFromJson(*text, **block, args.Raw); !taken) {
        return Failure{args.File + ": " + taken.Error().Text};
    }
    if (const Status written = WriteBlock(args.Output, **block); !written) return written;
    out << "wrote " << args.Output << "\n";
    return {};
}

Status Set(const PdbArguments& args, std::ostream& out) {
    const auto block = ReadBlock(args.File);
    if (!block) return block.Error();
    // Every assignment must pass before anything is written.
    for (const std::string& assignment : args.Assignments) {
        if (const Status set = SetField(**block, args.Slot, assignment); !set) return set;
    }
    if (const Status written = WriteBlock(args.File, **block); !written) return written;
    out << "updated " << args.File << "\n";
    return {};
}

using Command = Status (*)(const PdbArguments& args, std::ostream& out);

struct Subcommand {
    CLI::App* Parsed;
    Command Run;
};

// The subcommands and their arguments, bound to `args`.
std::vector<Subcommand> AddSubcommands(CLI::App& app, PdbArguments& args) {
    CLI::App* create = app.add_subcommand("create", "write a block with the factory defaults (FullPDB)");
    create->add_option("file", args.File, "block file to write")->required();
    create->add_flag("--force", args.Force, "replace an existing file");

    CLI::App* show = app.add_subcommand("show", "show a block as tables");
    show->add_option("file", args.File, "block file")->required();

    CLI::App* toJson = app.add_subcommand("to-json", "convert a block to JSON");
    toJson->add_option("file", args.File, "block file")->required();
    toJson->add_option("-o,--output", args.Output, "JSON file to write (standard output when omitted)");

    CLI::App* fromJson = app.add_subcommand("from-json", "convert JSON to a block");
    fromJson->add_option("json", args.File, "JSON file")->required();
    fromJson->add_option("-o,--output", args.Output, "block file to write")->required();
    fromJson->add_option("--template", args.TemplateFile,
                         "block whose bytes outside the defined fields are kept (zero without one)");
    fromJson->add_flag("--raw", args.Raw, "take any value a field can hold, not only what the wizard offers");

    CLI::App* set = app.add_subcommand("set", "set fields of a block: KEY=VALUE ...\n" + FieldKeysHelp());
    set->add_option("file", args.File, "block file to change")->required();
    set->add_option("--slot", args.Slot, "board slot 0..31 the fields belong to");
    set->add_option("assignments", args.Assignments, "KEY=VALUE")->required();

    return {{create, Create}, {show, Show}, {toJson, ToJson}, {fromJson, FromJson}, {set, Set}};
}

} // namespace

int RunPdbTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CLI::App app{"Creates, shows, converts and edits device parameter blocks of the korax24 driver.\n"
                 "Commands that write replace the target file whole, or leave it untouched on any error.",
                 "korax-pdb"};
    app.require_subcommand(1);
    app.set_version_flag("--version", ToolVersionText("korax-pdb"), "print korax-pdb's version");
    app.footer(ExitCodesHelp());
    PdbArguments args;
    const std::vector<Subcommand> subcommands = AddSubcommands(app, args);

    try {
        // The library takes the arguments after the program's name, last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        if (!reversed.empty()) reversed.pop_back();
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return ProcessExitCode(code == 0 ? ExitCode::Done : ExitCode::BadCommandLine);
    }
    for (const Subcommand& subcommand : subcommands) {
        if (!subcommand.Parsed->parsed()) continue;
        if (const Status done = subcommand.Run(args, out); !done) {
            err << "korax-pdb: error: " << done.Error().Text << "\n";
            return ProcessExitCode(ExitCode::BadInput);
        }
    }
    return ProcessExitCode(ExitCode::Done);
}

} // namespace korax::tools::pdb
