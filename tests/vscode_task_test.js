// The editor's build task (examples/vscode/tasks.json) as the editor runs
// it: its command on a broken source, with its environment and the mixed
// example's configuration; its problem matchers, read from the file, are
// applied by a parser of their format to every line the run wrote. Each
// message of NASM and of the GNU assembler must become its problem.
// Usage: node vscode_task_test.js TASKS_JSON INI TOLVANE NODE_MODULES
'use strict';
const fs = require('fs'), os = require('os'), path = require('path');
const { spawnSync } = require('child_process');
const [tasksFile, ini, tolvane, modules] = process.argv.slice(2).map((a) => path.resolve(a));
const parser = path.resolve(modules, '@rushstack/problem-matcher');
if (!fs.existsSync(parser)) {
    console.log(`${parser} is missing: scripts/test installs it`);
    process.exit(77);
}
const { parseProblemMatchersJson } = require(parser);
// The file's comments stand on lines of their own.
const json = fs.readFileSync(tasksFile, 'utf8').split('\n').filter((l) => !/^\s*\/\//.test(l));
const task = JSON.parse(json.join('\n')).tasks[0];
// The parser names a matcher by "name" where the editor has "owner".
const matchers = parseProblemMatchersJson(task.problemMatcher.map((m) => ({ ...m, name: m.owner })));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tolvane-task-'));
const cases = [
    ['b.asm', 'section .text\n  mov eax, ebx, ecx\n  dw 70000\n',
        [['nasm', 2, 'error', 'invalid combination of opcode and operands'],
            ['nasm', 3, 'warning', 'word data exceeds bounds [-w+number-overflow]']]],
    ['b.s', '.text\n  movq %rax\n  .byte 300\n',
        [['gas', 2, 'error', "number of operands mismatch for `movq'"],
            ['gas', 3, 'warning', 'value 0x12c truncated to 0x2c']]],
];
let failed = false;
for (const [name, source, expected] of cases) {
    const file = path.join(dir, name);
    fs.writeFileSync(file, source);
    const run = spawnSync(tolvane, task.args.map((a) => a.replace('${file}', file)),
        { cwd: dir, encoding: 'utf8', env: { ...process.env, ...task.options.env, TOLVANE_INI: ini } });
    if (run.error) throw run.error;
    const problems = [];
    for (const line of (run.stdout + run.stderr).split(/(?<=\n)/))
        for (const m of matchers) {
            const p = m.exec(line);
            if (p) problems.push([p.matcherName, p.file, p.line, p.severity, p.message]);
        }
    const want = expected.map(([owner, line, severity, text]) => [owner, file, line, severity, text]);
    if (run.status !== 1 || JSON.stringify(problems) !== JSON.stringify(want)) {
        failed = true;
        console.log(`${name}: status ${run.status}, output:\n${run.stdout}${run.stderr}`);
        console.log(`problems: ${JSON.stringify(problems)}\nexpected: ${JSON.stringify(want)}`);
    }
}
fs.rmSync(dir, { recursive: true });
process.exit(failed ? 1 : 0);
