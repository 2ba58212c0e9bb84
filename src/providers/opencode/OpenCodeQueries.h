#pragma once
// The two statements run against OpenCode's database on every pass. Times in
// the database are milliseconds since 1970-01-01 00:00 UTC.

namespace vexlor::opencode {

// The 50 most recently updated sessions that are not archived, each with its
// newest message (ties broken by the larger message id): role, finish reason,
// the JSON type of its error member (NULL without one), model and time.
inline constexpr const char* sessionsQuery =
    "SELECT\n"
    "  s.id,\n"
    "  s.title,\n"
    "  s.time_updated,\n"
    "  s.time_archived,\n"
    "  json_extract(m.data, '$.role') AS role,\n"
    "  json_extract(m.data, '$.finish') AS finish,\n"
    "  json_type(m.data, '$.error') AS error_type,\n"
    "  coalesce(json_extract(m.data, '$.modelID'), json_extract(m.data, '$.model')) AS model_id,\n"
    "  m.time_created AS message_at\n"
    "FROM session s\n"
    "LEFT JOIN message m ON m.id = (\n"
    "  SELECT id FROM message\n"
    "  WHERE session_id = s.id\n"
    "  ORDER BY time_created DESC, id DESC\n"
    "  LIMIT 1\n"
    ")\n"
    "WHERE s.time_archived IS NULL\n"
    "ORDER BY s.time_updated DESC\n"
    "LIMIT 50;";

// Two rows, "24h" then "7d": the tokens (a message's total, else input +
// output + reasoning) and cost of the assistant messages created in the last
// 86,400 and 604,800 seconds by the database's own clock.
inline constexpr const char* usageQuery =
    "SELECT '24h' AS period,\n"
    "  coalesce(sum(coalesce(json_extract(data, '$.tokens.total'),\n"
    "    coalesce(json_extract(data, '$.tokens.input'), 0) +\n"
    "    coalesce(json_extract(data, '$.tokens.output'), 0) +\n"
    "    coalesce(json_extract(data, '$.tokens.reasoning'), 0))), 0) AS tokens,\n"
    "  coalesce(sum(json_extract(data, '$.cost')), 0) AS cost_usd\n"
    "FROM message\n"
    "WHERE json_extract(data, '$.role') = 'assistant'\n"
    "  AND time_created >= (strftime('%s', 'now') - 86400) * 1000\n"
    "UNION ALL\n"
    "SELECT '7d',\n"
    "  coalesce(sum(coalesce(json_extract(data, '$.tokens.total'),\n"
    "    coalesce(json_extract(data, '$.tokens.input'), 0) +\n"
    "    coalesce(json_extract(data, '$.tokens.output'), 0) +\n"
    "    coalesce(json_extract(data, '$.tokens.reasoning'), 0))), 0),\n"
    "  coalesce(sum(json_extract(data, '$.cost')), 0)\n"
    "FROM message\n"
    "WHERE json_extract(data, '$.role') = 'assistant'\n"
    "  AND time_created >= (strftime('%s', 'now') - 604800) * 1000;";

} // namespace vexlor::opencode
