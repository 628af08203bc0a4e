/*
   Largest tables of the current database
   --------------------------------------
   Lists the 25 user tables that take the most room, biggest first: the table,
   its rows, and the space reserved for it, used by its data, used by its
   indexes and reserved but still unused, in KB. Page counts are turned into
   KB with this server's own page size. Runs in the database the session is in.
*/
DECLARE @id int, @kbPerPage decimal(15, 4)
CREATE TABLE #tablesizes (
   id int NOT NULL,
   rows bigint NULL,
   reserved bigint NULL,
   data bigint NULL,
   indexp bigint NULL,
   unused bigint NULL)

SET NOCOUNT ON

SELECT @kbPerPage = low / 1024.0 FROM master.dbo.spt_values WHERE number = 1 AND type = 'E'

DECLARE tables_cursor CURSOR LOCAL FAST_FORWARD FOR
   SELECT id FROM sysobjects WHERE xtype = 'U'
OPEN tables_cursor
FETCH NEXT FROM tables_cursor INTO @id
WHILE @@FETCH_STATUS = 0
BEGIN
   INSERT INTO #tablesizes (id, reserved)
      SELECT @id, SUM(reserved) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id
   UPDATE #tablesizes SET data =
         (SELECT ISNULL(SUM(dpages), 0) FROM sysindexes WHERE indid < 2 AND id = @id)
       + (SELECT ISNULL(SUM(used), 0) FROM sysindexes WHERE indid = 255 AND id = @id)
      WHERE id = @id
   UPDATE #tablesizes SET indexp =
         (SELECT SUM(used) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id) - data
      WHERE id = @id
   UPDATE #tablesizes SET unused = reserved -
         (SELECT SUM(used) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id)
      WHERE id = @id
   UPDATE #tablesizes SET rows =
         (SELECT MAX(rows) FROM sysindexes WHERE indid < 2 AND id = @id)
      WHERE id = @id
   FETCH NEXT FROM tables_cursor INTO @id
END

SELECT TOP 25
   LEFT(OBJECT_NAME(id), 25) AS TableName,
   CONVERT(varchar(20), rows) AS Rows,
   LTRIM(STR(reserved * @kbPerPage, 15, 0)) + ' KB' AS Reserved,
   LTRIM(STR(data * @kbPerPage, 15, 0)) + ' KB' AS Data,
   LTRIM(STR(indexp * @kbPerPage, 15, 0)) + ' KB' AS IndexSize,
   LTRIM(STR(unused * @kbPerPage, 15, 0)) + ' KB' AS Unused
FROM #tablesizes
ORDER BY reserved DESC

DROP TABLE #tablesizes
CLOSE tables_cursor
DEALLOCATE tables_cursor
