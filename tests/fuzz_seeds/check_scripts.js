// Parses every file under a directory as a browser would read the e-book's
// scripts: decoded as GBK, then compiled (not run) as a classic script.
// Prints each file that does not parse, with the engine's message; exits 1
// when there is one.
"use strict";
const fs = require("fs");
const path = require("path");
const vm = require("vm");

const root = process.argv[2];
const decoder = new TextDecoder("gbk");
let files = 0;
const failures = [];

function walk(dir) {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
        const full = path.join(dir, entry.name);
        if (entry.isDirectory()) {
            walk(full);
        } else if (entry.name !== "SEED") {
            ++files;
            const source = decoder.decode(fs.readFileSync(full));
            try {
                new vm.Script(source, { filename: full });
            } catch (e) {
                const seed = fs.readFileSync(path.join(root, path.relative(root, full).split(path.sep)[0], "SEED"), "utf8");
                failures.push(`${full} (seed ${seed.trim()}): ${e.message}`);
            }
        }
    }
}

walk(root);
console.log(`${files} script texts parsed, ${failures.length} failed`);
for (const f of failures) console.log(f);
process.exit(failures.length ? 1 : 0);
