// Runs one SQL query with DuckDB (npm's @duckdb/node-api, installed in MODULES by
// scripts/duckdb-test.sh) and prints its rows, one a line, the columns separated by tabs.
//   node scripts/duckdb-query.cjs MODULES SQL
'use strict';
const path = require('path');
const { createRequire } = require('module');

const [modules, sql] = process.argv.slice(2);
const { DuckDBInstance } = createRequire(path.resolve(modules, 'package.json'))('@duckdb/node-api');

(async () => {
  const instance = await DuckDBInstance.create(':memory:');
  const connection = await instance.connect();
  const reader = await connection.runAndReadAll(sql);
  for (const row of reader.getRowsJson()) {
    console.log(row.map((value) => (value === null ? '' : String(value))).join('\t'));
  }
})().catch((error) => {
  console.error(`duckdb-query: ${error.message}`);
  process.exit(1);
});
