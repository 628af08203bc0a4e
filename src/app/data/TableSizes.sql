/*
   Table sizes: the 25 user tables of the current database that reserve the most space,
   with their row counts and the reserved space split into data, indexes and unused space.
   Runs in the database the session is in.
*/
DECLARE @id int
DECLARE @pages bigint
CREATE TABLE #spt_space
(
    objid int NULL,
    rows bigint NULL,
    reserved dec(15) NULL,
    data dec(15) NULL,
    indexp dec(15) NULL,
    unused dec(15) NULL
)
SET NOCOUNT ON
DECLARE c_tables CURSOR FOR
    SELECT id FROM sysobjects WHERE xtype = 'U'
OPEN c_tables
FETCH NEXT FROM c_tables INTO @id
WHILE @@FETCH_STATUS = 0
BEGIN
    /* reserved: heap or clustered index, non-clustered indexes and text/image data */
    INSERT INTO #spt_space (objid, reserved)
        SELECT objid = @id, SUM(reserved) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id
    /* data: data pages of the heap or clustered index plus the text/image pages */
    SELECT @pages = SUM(dpages) FROM sysindexes WHERE indid < 2 AND id = @id
    SELECT @pages = @pages + ISNULL(SUM(used), 0) FROM sysindexes WHERE indid = 255 AND id = @id
    UPDATE #spt_space SET data = @pages WHERE objid = @id
    /* index: used pages less the data pages */
    UPDATE #spt_space
        SET indexp = (SELECT SUM(used) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id) - data
        WHERE objid = @id
    /* unused: reserved less used */
    UPDATE #spt_space
        SET unused = reserved - (SELECT SUM(used) FROM sysindexes WHERE indid IN (0, 1, 255) AND id = @id)
        WHERE objid = @id
    UPDATE #spt_space
        SET rows = i.rows FROM sysindexes i WHERE i.indid < 2 AND i.id = @id AND objid = @id
    FETCH NEXT FROM c_tables INTO @id
END
SELECT TOP 25
    Table_Name = LEFT(OBJECT_NAME(objid), 25),
    rows = CONVERT(char(11), rows),
    reserved = LTRIM(STR(reserved * d.low / 1024., 15, 0) + ' ' + 'KB'),
    data = LTRIM(STR(data * d.low / 1024., 15, 0) + ' ' + 'KB'),
    index_size = LTRIM(STR(indexp * d.low / 1024., 15, 0) + ' ' + 'KB'),
    unused = LTRIM(STR(unused * d.low / 1024., 15, 0) + ' ' + 'KB')
FROM #spt_space, master.dbo.spt_values d
WHERE d.number = 1 AND d.type = 'E'
ORDER BY reserved DESC
DROP TABLE #spt_space
CLOSE c_tables
DEALLOCATE c_tables
