// Parses every statement of the golden file, and the SQL Server schema scripts batch by batch,
// with an independent T-SQL parser: the closest check of the server dialect without a server.
// Batches that the parser's grammar cannot read (a gap of the parser, not of the script) are
// named by their first line in tsql_parser_gaps.txt beside this file; every other batch must
// parse. Usage: node parse_tsql.js statements.txt script.sql...
// Exits 77 (skipped) when node-sql-parser is not installed: scripts/test.sh installs it.
'use strict';
const fs = require('fs');
const path = require('path');
let Parser;
try {
  ({ Parser } = require('node-sql-parser'));
} catch (e) {
  console.log('SKIPPED: node-sql-parser is not installed (scripts/test.sh installs it)');
  process.exit(77);
}
const gaps = new Set(fs.readFileSync(path.join(__dirname, 'tsql_parser_gaps.txt'), 'utf8')
  .split('\n').map((l) => l.trim()).filter((l) => l !== '' && !l.startsWith('#')));

const parser = new Parser();
const failures = [];
let parsed = 0;

function check(origin, sql) {
  try {
    parser.astify(sql, { database: 'transactsql' });
    parsed++;
  } catch (e) {
    failures.push(`${origin}: ${String(e.message).split('\n')[0].slice(0, 200)}\n  ${sql.slice(0, 300)}`);
  }
}

const [golden, ...scripts] = process.argv.slice(2);
fs.readFileSync(golden, 'utf8').split('\n').forEach((line, i) => {
  if (line.trim() !== '' && !line.startsWith('== ')) check(`${golden}:${i + 1}`, line);
});
for (const script of scripts) {
  // Batches end at a line holding only GO, as the server's tools split them.
  let batch = [];
  let start = 1;
  const lines = fs.readFileSync(script, 'utf8').split('\n');
  lines.forEach((line, i) => {
    if (/^\s*GO\s*$/i.test(line)) {
      const text = batch.join('\n').replace(/--[^\n]*/g, '').trim();
      if (text !== '' && !gaps.has(text.split('\n')[0].trim())) check(`${script}:${start}`, text);
      batch = [];
      start = i + 2;
    } else {
      batch.push(line);
    }
  });
}
for (const f of failures) console.log(f);
console.log(`${parsed} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
