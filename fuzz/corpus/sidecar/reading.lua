-- we can read Lua syntax here!
return {
    ["percent_finished"] = 0.45,
    ["summary"] = {
        ["status"] = "reading",
    },
}
